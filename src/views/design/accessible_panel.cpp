#include "views/design/accessible_panel.h"

#include <QAccessibleWidget>
#include <QHash>

namespace tovalit {

namespace {

struct Presentation {
    QAccessible::Role role;
    std::function<QList<QWidget *>(QWidget *)> kept;
};

// By class name; GUI thread only, as every accessibility query is.
QHash<QString, Presentation> &presentations() {
    static QHash<QString, Presentation> registered;
    return registered;
}

class AccessiblePanel final : public QAccessibleWidget {
public:
    AccessiblePanel(QWidget *widget, const Presentation &presentation)
        : QAccessibleWidget(widget, presentation.role)
        , m_kept(presentation.kept) {}

    int childCount() const override { return int(children().size()); }
    QAccessibleInterface *child(int index) const override {
        const QList<QWidget *> shown = children();
        return index >= 0 && index < shown.size()
                   ? QAccessible::queryAccessibleInterface(shown[index])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override {
        return child ? int(children().indexOf(child->object())) : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override {
        for (QWidget *shown : children()) {
            if (QRect(shown->mapToGlobal(QPoint(0, 0)), shown->size()).contains(x, y))
                return QAccessible::queryAccessibleInterface(shown);
        }
        return nullptr;
    }

private:
    QList<QWidget *> children() const {
        QList<QWidget *> shown;
        if (m_kept) {
            for (QWidget *child : m_kept(widget())) {
                if (child && child->isVisible())
                    shown.append(child);
            }
        }
        return shown;
    }

    std::function<QList<QWidget *>(QWidget *)> m_kept;
};

// A part of such a panel that is not presented. Qt still sends events of
// its own for it (a label's name as its text changes, its showing as the
// panel shows), filled in from this: it says nothing, so nothing is read
// besides the panel.
class SilentPart final : public QAccessibleWidget {
public:
    explicit SilentPart(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::NoRole) {}

    QString text(QAccessible::Text) const override { return {}; }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
};

QAccessibleInterface *accessiblePanelFor(const QString &className, QObject *object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    const auto found = presentations().constFind(className);
    if (found != presentations().constEnd())
        return new AccessiblePanel(static_cast<QWidget *>(object), *found);
    // Inside a panel: silent, unless under one of the children it keeps.
    QObject *under = object;
    for (QObject *above = object->parent(); above; under = above, above = above->parent()) {
        if (!above->isWidgetType())
            return nullptr;
        const auto panel =
            presentations().constFind(QString::fromLatin1(above->metaObject()->className()));
        if (panel == presentations().constEnd())
            continue;
        const QList<QWidget *> kept =
            panel->kept ? panel->kept(static_cast<QWidget *>(above)) : QList<QWidget *>();
        if (kept.contains(static_cast<QWidget *>(under)))
            return nullptr;
        return new SilentPart(static_cast<QWidget *>(object));
    }
    return nullptr;
}

} // namespace

void presentPanelAsOneElement(const QMetaObject &panel, QAccessible::Role role,
                              std::function<QList<QWidget *>(QWidget *)> kept) {
    if (presentations().isEmpty())
        QAccessible::installFactory(&accessiblePanelFor);
    const QString name = QString::fromLatin1(panel.className());
    if (!presentations().contains(name))
        presentations().insert(name, {role, std::move(kept)});
}

} // namespace tovalit
