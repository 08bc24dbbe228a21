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

QAccessibleInterface *accessiblePanelFor(const QString &className, QObject *object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    const auto found = presentations().constFind(className);
    if (found == presentations().constEnd())
        return nullptr;
    return new AccessiblePanel(static_cast<QWidget *>(object), *found);
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
