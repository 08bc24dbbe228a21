#include "app/floating_panel_coordinator.h"

#include "app/floating_panel_geometry.h"
#include "app/qt_floating_panel_screens.h"
#include "support/gui_thread.h"
#include "support/textkit.h"
#include "views/hud/floating_hud_model.h"
#include "views/hud/floating_hud_panel.h"
#include "views/hud/hud_layout.h"

#include <QPointer>

#include <cmath>

namespace tovalit {

namespace {

// A desktop to place the panel on when no screen can be found at all.
constexpr QRectF fallbackVisibleFrame{0, 0, 1440, 900};

QCoro::Task<void> hideAfter(QPointer<FloatingPanelCoordinator> coordinator, Sleeper sleeper,
                            double seconds, CancelToken token) {
    // Replaced before it even started.
    if (token.isCancelled())
        co_return;
    co_await sleeper(seconds, token);
    if (token.isCancelled() || !coordinator)
        co_return;
    coordinator->hide();
}

// The screen a window is on: the one holding the largest part of it.
std::optional<FloatingPanelScreens::Screen>
screenHolding(const QRectF &frame, const QList<FloatingPanelScreens::Screen> &screens) {
    std::optional<FloatingPanelScreens::Screen> best;
    qreal bestArea = 0;
    for (const FloatingPanelScreens::Screen &screen : screens) {
        const QRectF shared = screen.frame.intersected(frame);
        const qreal area = shared.width() * shared.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

} // namespace

FloatingPanelCoordinator::FloatingPanelCoordinator(
    std::shared_ptr<const FloatingPanelScreens> screens, Sleeper sleeper, QObject *parent)
    : QObject(parent)
    , m_screens(screens ? std::move(screens) : std::make_shared<QtFloatingPanelScreens>())
    , m_sleeper(std::move(sleeper))
    , m_hudModel(new FloatingHUDModel(this)) {}

FloatingPanelCoordinator::~FloatingPanelCoordinator() {
    m_hideTask.cancel();
    delete m_panel;
}

void FloatingPanelCoordinator::showRecording(QList<double> levels,
                                             RecordingHUDDisplayState displayState,
                                             std::optional<QString> toastMessage,
                                             std::optional<QString> toastActionTitle,
                                             Action onToastAction, Action onFinish,
                                             Action onCancel) {
    Q_ASSERT(isGuiThread());
    ++m_presentation;
    m_hideTask.cancel();
    // The capsule and the meeting panel are different views: a drag or
    // resize begun on the one that goes never hears its release.
    const FloatingHUDModel::Mode &mode = m_hudModel->mode();
    if (mode.kind() != FloatingHUDModel::Mode::Kind::recording ||
        mode.displayState().isCompact() != displayState.isCompact())
        endRecordingPanelGestures();
    QPointer<FloatingPanelCoordinator> self(this);
    const RecordingHUDDisplayState shown = displayState;
    m_hudModel->showRecording(
        std::move(levels), std::move(displayState), std::move(onFinish), std::move(onCancel),
        std::move(toastMessage), std::move(toastActionTitle), std::move(onToastAction),
        [self](QSizeF translation) {
            if (self)
                self->handleRecordingPanelDrag(translation);
        },
        [self] {
            if (self)
                self->finishRecordingPanelDrag();
        },
        [self](HUDResizeHandle handle, QSizeF translation) {
            if (self)
                self->handleRecordingPanelResize(handle, translation);
        },
        [self] {
            if (self)
                self->finishRecordingPanelResize();
        });

    const QRectF frame = recordingPanelFrame(shown);
    if (m_recordingDragBaselineFrame && m_panel && frame.size() != m_panel->frame().size()) {
        // The panel changes size under a drag (the countdown's toast comes
        // or goes): the frame the drag began with would put the old size
        // back at the next move. The drag goes on from the new frame, as
        // if it had begun there, so the panel follows the pointer on.
        m_recordingDragBaselineFrame = frame.translated(-m_recordingDragTranslation.width(),
                                                        -m_recordingDragTranslation.height());
    }
    // The common case of a level update: nothing moves, nothing is asked of
    // the window.
    if (m_currentKind == PresentationKind::recording && m_panel && m_panel->frame() == frame)
        return;
    m_currentKind = PresentationKind::recording;
    disallowKeyFocus();
    showPanel(frame);
}

void FloatingPanelCoordinator::showThinking(const QString &title, const QString &message) {
    Q_ASSERT(isGuiThread());
    Q_UNUSED(message);
    ++m_presentation;
    m_hideTask.cancel();
    endRecordingPanelGestures();
    m_currentKind = PresentationKind::status;
    disallowKeyFocus();
    const QString text = textkit::isBlank(title) ? QStringLiteral("思考中") : title;
    m_hudModel->showStatus(text, true, std::nullopt);
    showPanel(statusPanelFrame(HUDLayout::thinkingPanelSize, m_hudModel->hasToast()));
}

void FloatingPanelCoordinator::showCompletion(std::optional<QString> toast) {
    Q_ASSERT(isGuiThread());
    ++m_presentation;
    m_hideTask.cancel();
    endRecordingPanelGestures();
    m_currentKind = PresentationKind::status;
    disallowKeyFocus();
    m_hudModel->showStatus(QStringLiteral("已完成"), false, std::move(toast));
    const bool hasToast = m_hudModel->hasToast();
    showPanel(statusPanelFrame(HUDLayout::thinkingPanelSize, hasToast));
    scheduleHide(hasToast ? 3.0 : 1.0);
}

void FloatingPanelCoordinator::showToast(const QString &message, std::optional<QString> actionTitle,
                                         std::optional<double> autoHideAfter, Action onAction) {
    Q_ASSERT(isGuiThread());
    ++m_presentation;
    m_hideTask.cancel();
    endRecordingPanelGestures();
    m_currentKind = PresentationKind::toastOnly;
    const bool hasActionTitle = actionTitle.has_value();
    m_hudModel->showToastOnly(message, std::move(actionTitle),
                              toastActionHidingAfterwards(std::move(onAction)));
    // A panel made by this very call keeps the focus refused.
    if (m_panel)
        m_panel->setAllowsKeyFocus(hasActionTitle);

    const QSizeF size = HUDLayout::toastOnlyPanelSize;
    const QRectF visible = currentVisibleFrame();
    showPanel(QRectF(HUDLayout::recordingPanelOrigin(visible, size), size));

    // A delay that is not a finite number of seconds counts as none given:
    // a toast always hides by itself.
    const bool delayGiven = autoHideAfter.has_value() && std::isfinite(*autoHideAfter);
    scheduleHide(delayGiven ? *autoHideAfter : (hasActionTitle ? 5.0 : 3.0));
}

void FloatingPanelCoordinator::updateToast(const QString &message,
                                           std::optional<QString> actionTitle,
                                           std::optional<double> autoHideAfter, Action onAction) {
    Q_ASSERT(isGuiThread());
    if (m_currentKind == PresentationKind::toastOnly && panelIsVisible()) {
        // In place: frame, kind and the planned hide stay as they are.
        ++m_presentation;
        const bool hasActionTitle = actionTitle.has_value();
        m_hudModel->showToastOnly(message, std::move(actionTitle),
                                  toastActionHidingAfterwards(std::move(onAction)));
        if (hasActionTitle)
            m_panel->setAllowsKeyFocus(true);
        return;
    }
    showToast(message, std::move(actionTitle), autoHideAfter, std::move(onAction));
}

void FloatingPanelCoordinator::hide() {
    Q_ASSERT(isGuiThread());
    m_hideTask.cancel();
    m_currentKind.reset();
    endRecordingPanelGestures();
    m_customExpandedCapsuleSize.reset();
    if (m_panel)
        m_panel->orderOut();
}

QRectF FloatingPanelCoordinator::currentVisibleFrame() const {
    const QList<FloatingPanelScreens::Screen> screens = m_screens->screens();
    if (m_panel) {
        if (auto screen = screenHolding(m_panel->frame(), screens))
            return screen->visibleFrame;
    }
    const QPointF mouse = m_screens->mouseLocation();
    for (const FloatingPanelScreens::Screen &screen : screens) {
        if (screen.frame.contains(mouse))
            return screen.visibleFrame;
    }
    if (auto main = m_screens->mainScreen())
        return main->visibleFrame;
    return fallbackVisibleFrame;
}

FloatingHUDPanel *FloatingPanelCoordinator::makePanelIfNeeded() {
    if (!m_panel)
        m_panel = new FloatingHUDPanel(m_hudModel);
    return m_panel;
}

void FloatingPanelCoordinator::showPanel(const QRectF &frame) {
    FloatingHUDPanel *panel = makePanelIfNeeded();
    panel->setFrame(frame, panel->isOrderedIn());
    panel->orderFrontRegardless();
}

bool FloatingPanelCoordinator::panelIsVisible() const {
    return m_panel && m_panel->isOrderedIn();
}

QRectF
FloatingPanelCoordinator::recordingPanelFrame(const RecordingHUDDisplayState &displayState) const {
    const QSizeF content =
        displayState.isCompact()
            ? HUDLayout::recordingPanelSize
            : m_customExpandedCapsuleSize.value_or(HUDLayout::expandedMeetingPanelSize);
    const QSizeF size = HUDLayout::panelSize(content, m_hudModel->hasToast());
    if (m_currentKind == PresentationKind::recording && panelIsVisible()) {
        // A recording panel on show keeps its centre, wherever it was
        // dragged.
        const QPointF centre = m_panel->frame().center();
        const QRectF kept(centre.x() - size.width() / 2, centre.y() - size.height() / 2,
                          size.width(), size.height());
        return FloatingPanelGeometry::clampedRecordingFrame(kept, currentVisibleFrame());
    }
    return {HUDLayout::recordingPanelOrigin(currentVisibleFrame(), size), size};
}

QRectF FloatingPanelCoordinator::statusPanelFrame(QSizeF contentSize, bool hasToast) const {
    const QSizeF size = HUDLayout::panelSize(contentSize, hasToast);
    return {HUDLayout::thinkingPanelOrigin(currentVisibleFrame(), size), size};
}

void FloatingPanelCoordinator::disallowKeyFocus() {
    if (m_panel)
        m_panel->setAllowsKeyFocus(false);
}

FloatingPanelCoordinating::Action
FloatingPanelCoordinator::toastActionHidingAfterwards(Action onAction) {
    QPointer<FloatingPanelCoordinator> self(this);
    return [self, onAction = std::move(onAction)] {
        const quint64 before = self ? self->m_presentation : 0;
        if (onAction)
            onAction();
        // The toast goes with its button, unless the action already put
        // something new on the panel (an undo confirmation, say).
        if (self && self->m_presentation == before)
            self->hide();
    };
}

void FloatingPanelCoordinator::handleRecordingPanelDrag(QSizeF translation) {
    if (m_currentKind != PresentationKind::recording || !m_panel)
        return;
    if (!m_recordingDragBaselineFrame)
        m_recordingDragBaselineFrame = m_panel->frame();
    m_recordingDragTranslation = translation;
    m_panel->setFrame(FloatingPanelGeometry::draggedRecordingFrame(
                          *m_recordingDragBaselineFrame, translation, currentVisibleFrame()),
                      false);
}

void FloatingPanelCoordinator::finishRecordingPanelDrag() {
    m_recordingDragBaselineFrame.reset();
}

void FloatingPanelCoordinator::endRecordingPanelGestures() {
    m_recordingDragBaselineFrame.reset();
    m_recordingResizeBaselineFrame.reset();
}

void FloatingPanelCoordinator::handleRecordingPanelResize(HUDResizeHandle handle,
                                                          QSizeF translation) {
    if (m_currentKind != PresentationKind::recording || !m_panel)
        return;
    if (!m_recordingResizeBaselineFrame)
        m_recordingResizeBaselineFrame = m_panel->frame();
    const bool hasToast = m_hudModel->hasToast();
    const QRectF frame = FloatingPanelGeometry::scaledRecordingFrame(
        *m_recordingResizeBaselineFrame, handle, translation, hasToast, currentVisibleFrame());
    m_panel->setFrame(frame, false);
    m_customExpandedCapsuleSize = HUDLayout::panelContentSize(frame.size(), hasToast);
}

void FloatingPanelCoordinator::finishRecordingPanelResize() {
    m_recordingResizeBaselineFrame.reset();
    if (m_panel)
        m_customExpandedCapsuleSize =
            HUDLayout::panelContentSize(m_panel->frame().size(), m_hudModel->hasToast());
}

void FloatingPanelCoordinator::scheduleHide(double seconds) {
    m_hideTask.cancel();
    QPointer<FloatingPanelCoordinator> self(this);
    const double delay = std::max(seconds, 0.0);
    m_hideTask = spawnCancellable(
        this,
        [self, sleeper = m_sleeper, delay](CancelToken token) {
            return hideAfter(self, sleeper, delay, token);
        },
        QStringLiteral("floating panel hide"));
}

} // namespace tovalit
