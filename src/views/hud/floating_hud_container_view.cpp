#include "views/hud/floating_hud_container_view.h"

#include "views/design/tovalit_glass_surface.h"
#include "views/hud/floating_hud_model.h"
#include "views/hud/floating_hud_toast_view.h"
#include "views/hud/meeting_resize_handle_overlay.h"
#include "views/hud/recording_hud_view.h"
#include "views/hud/thinking_hud_view.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tovalit {

namespace {

// Calls the model's current action, from a copy: the action may replace
// itself (or everything the panel shows).
template <typename Function, typename... Arguments>
void invoke(const Function &current, Arguments... arguments) {
    if (Function action = current)
        action(arguments...);
}

} // namespace

FloatingHUDContainerView::FloatingHUDContainerView(FloatingHUDModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_column(new QVBoxLayout(this))
    , m_toast(new FloatingHUDToastView(this)) {
    setObjectName(QStringLiteral("FloatingHUDContainerView"));
    setAttribute(Qt::WA_TranslucentBackground);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(8);
    // Content sits at the bottom, the toast right above it; whatever room
    // is left stays empty above both.
    m_column->addStretch(0);
    m_column->addWidget(m_toast, 0, Qt::AlignHCenter);
    m_toast->hide();
    watch(m_toast);

    connect(m_model, &FloatingHUDModel::modeChanged, this, &FloatingHUDContainerView::syncMode);
    connect(m_model, &FloatingHUDModel::levelsChanged, this, &FloatingHUDContainerView::syncLevels);
    connect(m_model, &FloatingHUDModel::toastChanged, this, &FloatingHUDContainerView::syncToast);
    syncToast();
    syncMode();
}

RecordingHUDView *FloatingHUDContainerView::recordingView() const {
    return qobject_cast<RecordingHUDView *>(m_content);
}

ThinkingHUDView *FloatingHUDContainerView::thinkingView() const {
    return qobject_cast<ThinkingHUDView *>(m_content);
}

void FloatingHUDContainerView::syncMode() {
    const FloatingHUDModel::Mode &mode = m_model->mode();
    switch (mode.kind()) {
    case FloatingHUDModel::Mode::Kind::recording: {
        RecordingHUDView *view = recordingView();
        if (!view) {
            view = new RecordingHUDView(m_model->levels(), mode.displayState(), this);
            const FloatingHUDModel *model = m_model;
            connect(view, &RecordingHUDView::cancelRequested, this,
                    [model] { invoke(model->callbacks().onCancel); });
            connect(view, &RecordingHUDView::finishRequested, this,
                    [model] { invoke(model->callbacks().onFinish); });
            connect(view, &RecordingHUDView::dragChanged, this, [model](QSizeF translation) {
                invoke(model->callbacks().onDragChanged, translation);
            });
            connect(view, &RecordingHUDView::dragEnded, this,
                    [model] { invoke(model->callbacks().onDragEnded); });
            connect(view, &RecordingHUDView::resizeChanged, this,
                    [model](HUDResizeHandle handle, QSizeF translation) {
                        invoke(model->callbacks().onResizeChanged, handle, translation);
                    });
            connect(view, &RecordingHUDView::resizeEnded, this,
                    [model] { invoke(model->callbacks().onResizeEnded); });
            replaceContent(view, !mode.displayState().isCompact());
        } else {
            view->setDisplayState(mode.displayState());
            const bool fills = !view->isCompact();
            m_column->setStretchFactor(view, fills ? 1 : 0);
            m_column->setAlignment(view, fills ? Qt::Alignment() : Qt::AlignHCenter);
        }
        break;
    }
    case FloatingHUDModel::Mode::Kind::status:
        if (ThinkingHUDView *view = thinkingView())
            view->setStatus(mode.text(), mode.showsProgress(), false);
        else
            replaceContent(new ThinkingHUDView(mode.text(), mode.showsProgress(), false, this),
                           false);
        break;
    case FloatingHUDModel::Mode::Kind::toastOnly:
        replaceContent(nullptr, false);
        break;
    }
    refreshShadows();
    m_column->activate();
    Q_EMIT surfacesChanged();
}

void FloatingHUDContainerView::refreshShadows() {
    const bool shows = TovalitGlassSurface::backdropFor(this) == GlassBackdrop::translucent;
    const bool widened = shows && !m_toast->isHidden();
    m_toast->setCastsShadow(shows);
    // The capsule's view is exactly as large as the capsule and would cut
    // its shadow off: the view casts it.
    if (RecordingHUDView *recording = recordingView()) {
        TovalitGlassSurface::castShadow(recording, TovalitGlassLevel::hud(),
                                        widened && recording->isCompact());
    }
    if (ThinkingHUDView *thinking = thinkingView())
        thinking->setCastsShadow(widened);
}

void FloatingHUDContainerView::replaceContent(QWidget *content, bool fills) {
    if (m_content) {
        // Deferred: the change may come from inside the old view's own
        // button handler.
        m_column->removeWidget(m_content);
        m_content->hide();
        m_content->disconnect(this);
        m_content->deleteLater();
    }
    m_content = content;
    if (!content)
        return;
    m_column->addWidget(content, fills ? 1 : 0, fills ? Qt::Alignment() : Qt::AlignHCenter);
    watch(content);
    content->show();
}

void FloatingHUDContainerView::syncLevels() {
    if (RecordingHUDView *view = recordingView())
        view->setLevels(m_model->levels());
}

void FloatingHUDContainerView::syncToast() {
    const std::optional<QString> &message = m_model->toastMessage();
    if (!message) {
        if (!m_toast->isHidden()) {
            m_toast->hide();
            refreshShadows();
            m_column->activate();
            Q_EMIT surfacesChanged();
        }
        return;
    }
    const FloatingHUDModel *model = m_model;
    m_toast->setContent(*message, false, m_model->toastActionTitle(),
                        [model] { invoke(model->callbacks().onToastAction); });
    m_toast->show();
    refreshShadows();
    m_column->activate();
    Q_EMIT surfacesChanged();
}

namespace {

// Resizes of a hidden window wait until it is shown, and its layouts with
// them. The shape is wanted before the window shows, so the branches that
// lead to a surface are laid out now, for the size they already have.
void layOutNow(QWidget *widget) {
    if (QLayout *layout = widget->layout()) {
        layout->invalidate();
        layout->setGeometry(widget->rect());
    }
}

// The outermost surfaces under `widget`; inner ones (a card on the meeting
// panel) lie within them.
void addSurfaces(QWidget *widget, QPoint origin, QRegion &region) {
    layOutNow(widget);
    for (QObject *child : widget->children()) {
        auto *childWidget = qobject_cast<QWidget *>(child);
        if (!childWidget || childWidget->isHidden() || childWidget->isWindow())
            continue;
        const QPoint at = origin + childWidget->pos();
        // A shadow is drawn as well, around what casts it.
        if (const QGraphicsEffect *shadow = childWidget->graphicsEffect()) {
            region +=
                shadow->boundingRectFor(QRectF(childWidget->rect())).toAlignedRect().translated(at);
        }
        if (auto *surface = qobject_cast<TovalitGlassSurface *>(childWidget)) {
            if (!surface->size().isEmpty())
                region += QRegion(
                    surface->surfacePath().translated(QPointF(at)).toFillPolygon().toPolygon());
            // The meeting panel's corner handles reach into the corners its
            // rounding leaves empty; all of each handle grips. They sit on
            // the panel itself: its lists, however long, are not searched.
            for (const MeetingResizeHandleOverlay *overlay :
                 surface->findChildren<MeetingResizeHandleOverlay *>(Qt::FindDirectChildrenOnly)) {
                for (const MeetingResizeHandleView *grip : overlay->handles()) {
                    if (grip->isVisibleTo(surface))
                        region += QRect(at + grip->mapTo(surface, QPoint(0, 0)), grip->size());
                }
            }
            continue;
        }
        addSurfaces(childWidget, at, region);
    }
}

} // namespace

QRegion FloatingHUDContainerView::surfaceRegion() {
    QRegion region;
    addSurfaces(this, QPoint(0, 0), region);
    return region;
}

void FloatingHUDContainerView::watch(QWidget *widget) {
    widget->installEventFilter(this);
}

bool FloatingHUDContainerView::eventFilter(QObject *watched, QEvent *event) {
    Q_UNUSED(watched);
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        Q_EMIT surfacesChanged();
        break;
    default:
        break;
    }
    return false;
}

void FloatingHUDContainerView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Q_EMIT surfacesChanged();
}

} // namespace tovalit
