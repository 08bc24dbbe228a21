#include "views/client_window_view.h"

#include "state/transcriber_view_model.h"
#include "support/spawn.h"
#include "views/client_window_toast_view.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/history/history_list_view.h"
#include "views/instructions/instruction_library_view.h"
#include "views/lexicon/personal_lexicon_view.h"
#include "views/main_panel_view.h"
#include "views/settings/settings_view.h"
#include "views/sidebar_row.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace tovalit {

namespace {

constexpr int toastTopPadding = 14;
constexpr int toastAnimationMilliseconds = 220;
// Room around the toast on its host for the glass's shadow (blur 12,
// offset 4 downwards).
constexpr QMargins toastShadowRoom(14, 8, 14, 18);
constexpr qreal recordSymbolSize = 18;

// The platform's hairline with white at 0.18 laid over it.
QWidget *divider(Qt::Orientation orientation, QWidget *parent) {
    const QColor line = TovalitPalette::black(0.1);
    const QColor overlay = TovalitPalette::white(0.18);
    const qreal alpha = overlay.alphaF() + line.alphaF() * (1 - overlay.alphaF());
    const qreal grey =
        (overlay.alphaF() * 1.0 + line.alphaF() * (1 - overlay.alphaF()) * 0.0) / alpha;
    const QColor composite = QColor::fromRgbF(float(grey), float(grey), float(grey), float(alpha));

    auto *frame = new QWidget(parent);
    frame->setAttribute(Qt::WA_StyledBackground);
    frame->setStyleSheet(QStringLiteral("background: rgba(%1, %1, %1, %2);")
                             .arg(composite.red())
                             .arg(composite.alpha()));
    if (orientation == Qt::Horizontal)
        frame->setFixedHeight(1);
    else
        frame->setFixedWidth(1);
    return frame;
}

// The brand mark: the product symbol on a soft brand disc, 34 across.
QPixmap brandMark(qreal devicePixelRatio) {
    constexpr qreal diameter = 34;
    QPixmap pixmap(QSize(int(diameter * devicePixelRatio), int(diameter * devicePixelRatio)));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(TovalitPalette::brandSoft());
    painter.drawEllipse(QRectF(0, 0, diameter, diameter));
    const qreal side = TovalitSymbol::side(15);
    TovalitSymbol::paint(painter, QRectF((diameter - side) / 2, (diameter - side) / 2, side, side),
                         QStringLiteral("sparkles.rectangle.stack.fill"),
                         TovalitPalette::brandStrong());
    return pixmap;
}

QIcon recordIcon(const QString &symbol, const QColor &color) {
    const qreal side = TovalitSymbol::side(recordSymbolSize);
    QIcon icon;
    for (qreal ratio : {1.0, 2.0})
        icon.addPixmap(TovalitSymbol::pixmap(symbol, side, color, ratio));
    return icon;
}

// What the toast rides on: it fades and slides as one, and draws the
// toast's shadow itself, since the opacity effect and a shadow effect on
// the toast cannot be nested.
class ToastHost : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        const auto *toast = findChild<ClientWindowToastView *>();
        if (!toast || toast->isHidden())
            return;
        const TovalitGlassLevel level = toast->level();
        const qreal radius = level.shadowRadius();
        if (radius <= 0)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        // Concentric layers whose opacities add up to the level's shadow
        // colour under the toast and fade out over the blur radius.
        const QRectF box = QRectF(toast->geometry()).translated(0, level.shadowY());
        const int layers = int(radius);
        QColor layer = level.shadowColor();
        layer.setAlphaF(float(level.shadowColor().alphaF() / layers));
        for (int step = layers; step >= 1; --step) {
            const qreal spread = step * 0.75;
            QPainterPath shape;
            shape.addRoundedRect(box.adjusted(-spread, -spread, spread, spread),
                                 level.cornerRadius() + spread, level.cornerRadius() + spread);
            painter.fillPath(shape, layer);
        }
    }
};

// The end of the header, for what the window adds there (its menu button
// where there is no tray). Shown only while it holds a shown widget: an
// empty place would still take the row's spacing before it.
class HeaderAccessoryPlace : public QWidget {
public:
    explicit HeaderAccessoryPlace(QWidget *parent)
        : QWidget(parent) {
        setObjectName(QStringLiteral("headerAccessoryPlace"));
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        hide();
    }

protected:
    void childEvent(QChildEvent *event) override {
        QWidget::childEvent(event);
        if (!event->child()->isWidgetType())
            return;
        if (event->added())
            event->child()->installEventFilter(this);
        else if (event->removed())
            event->child()->removeEventFilter(this);
        followChildren();
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            followChildren();
        return QWidget::eventFilter(watched, event);
    }

private:
    void followChildren() {
        const QList<QWidget *> held = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        setVisible(std::any_of(held.begin(), held.end(),
                               [](const QWidget *widget) { return !widget->isHidden(); }));
    }
};

// What was on screen where a toast stood, laid over the toast that
// replaces it and fading away, so that one turns into the other.
class FormerToastPicture : public QWidget {
public:
    explicit FormerToastPicture(QWidget *parent)
        : QWidget(parent) {
        setObjectName(QStringLiteral("formerToast"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

    void showPicture(const QPixmap &picture, const QRect &geometry) {
        m_picture = picture;
        m_opacity = 1;
        setGeometry(geometry);
        show();
        raise();
        update();
    }

    void setOpacity(qreal opacity) {
        m_opacity = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setOpacity(m_opacity);
        painter.drawPixmap(0, 0, m_picture);
    }

private:
    QPixmap m_picture;
    qreal m_opacity = 1;
};

// The window's ease-out.
QEasingCurve easeOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

TovalitTextLabel *plainLabel(const QString &text, const QFont &font, const QColor &color,
                             QWidget *parent) {
    auto *label = new TovalitTextLabel(text, font, color, parent);
    label->setWraps(false);
    return label;
}

} // namespace

ClientWindowView::ClientWindowView(TranscriberViewModel &viewModel,
                                   AppConfigurationStore &configurationStore,
                                   PermissionCoordinator &permissionCoordinator,
                                   Dependencies dependencies, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_configurationStore(configurationStore)
    , m_permissionCoordinator(permissionCoordinator)
    , m_dependencies(std::move(dependencies)) {
    setObjectName(QStringLiteral("ClientWindowView"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(makeSidebar());
    row->addWidget(divider(Qt::Vertical, this));
    row->addWidget(makeDetailColumn(), 1);

    connect(&viewModel, &TranscriberViewModel::recordingStateChanged, this,
            &ClientWindowView::renderHeader);
    connect(&viewModel, &TranscriberViewModel::appToastChanged, this,
            &ClientWindowView::handleToast);
    connect(&viewModel, &TranscriberViewModel::shortcutActivationStateChanged, this,
            [this](const ShortcutActivationState &state) {
                if (auto *settings = qobject_cast<SettingsView *>(m_page))
                    settings->setShortcutActivationState(state);
            });
    connect(&viewModel, &TranscriberViewModel::shortcutRouteChanged, this,
            [this](const ShortcutRoute &route) {
                if (auto *settings = qobject_cast<SettingsView *>(m_page))
                    settings->setShortcutRoute(route);
            });
    showPage();
    renderHeader();
    handleToast();
}

ClientWindowView::~ClientWindowView() {
    setDrawsToasts(false);
}

void ClientWindowView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    setDrawsToasts(true);
}

void ClientWindowView::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    setDrawsToasts(false);
}

void ClientWindowView::setDrawsToasts(bool draws) {
    // The controller runs a notice's time only while a window shows it.
    if (draws == m_drawsToasts)
        return;
    m_drawsToasts = draws;
    if (draws)
        m_viewModel.appToastSurfaceShown();
    else
        m_viewModel.appToastSurfaceHidden();
}

QWidget *ClientWindowView::makeSidebar() {
    using namespace TovalitTokens;
    auto *sidebar = new QWidget(this);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setFixedWidth(int(Layout::sidebarWidth));
    auto *column = new QVBoxLayout(sidebar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *brand = new QHBoxLayout;
    brand->setContentsMargins(12, 14, 12, 10);
    brand->setSpacing(10);
    auto *mark = new QLabel(sidebar);
    mark->setPixmap(brandMark(qApp->devicePixelRatio()));
    mark->setFixedSize(34, 34);
    brand->addWidget(mark);
    auto *names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(plainLabel(QStringLiteral("Tovalit"), tovalitFont(13, QFont::DemiBold),
                                TovalitPalette::primary(), sidebar));
    names->addWidget(plainLabel(QStringLiteral("语音输入，智能清洗"), TovalitTextStyle::caption(),
                                TovalitPalette::secondary(), sidebar));
    brand->addLayout(names, 1);
    column->addLayout(brand);

    auto *rule = new QHBoxLayout;
    rule->setContentsMargins(12, 0, 12, 0);
    rule->addWidget(divider(Qt::Horizontal, sidebar));
    column->addLayout(rule);

    auto *list = new QVBoxLayout;
    list->setContentsMargins(8, 8, 8, 0);
    list->setSpacing(2);
    for (ClientWindowSection section : allClientWindowSections) {
        auto *rowWidget = new SidebarRow(section, sidebar);
        connect(rowWidget, &SidebarRow::clicked, this, [this, section] { setSelection(section); });
        list->addWidget(rowWidget);
        m_rows.append(rowWidget);
    }
    column->addLayout(list);
    column->addStretch(1);
    return sidebar;
}

QWidget *ClientWindowView::makeDetailColumn() {
    auto *detail = new QWidget(this);
    detail->setObjectName(QStringLiteral("detailColumn"));
    auto *column = new QVBoxLayout(detail);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(16, 12, 16, 12);
    header->setSpacing(12);
    m_headerTitle = new QLabel(detail);
    m_headerTitle->setObjectName(QStringLiteral("headerTitle"));
    m_headerTitle->setTextFormat(Qt::PlainText);
    m_headerTitle->setFont(tovalitFont(13, QFont::DemiBold));
    header->addWidget(m_headerTitle);
    header->addStretch(1);
    m_recordButton = new QPushButton(detail);
    m_recordButton->setObjectName(QStringLiteral("recordButton"));
    m_recordButton->setFlat(true);
    m_recordButton->setCursor(Qt::PointingHandCursor);
    m_recordButton->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background: transparent; padding: 2px; }"));
    const int side = int(TovalitSymbol::side(recordSymbolSize));
    m_recordButton->setIconSize(QSize(side, side));
    m_recordButton->setFixedSize(side + 6, side + 6);
    // Present on every section so the header keeps its height; usable on
    // the home section only.
    QSizePolicy policy = m_recordButton->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_recordButton->setSizePolicy(policy);
    connect(m_recordButton, &QPushButton::clicked, this, &ClientWindowView::toggleRecording);
    header->addWidget(m_recordButton);
    m_headerAccessoryPlace = new HeaderAccessoryPlace(detail);
    header->addWidget(m_headerAccessoryPlace);
    column->addLayout(header);
    column->addWidget(divider(Qt::Horizontal, detail));

    m_contentArea = new QWidget(detail);
    m_contentArea->setObjectName(QStringLiteral("contentArea"));
    m_contentLayout = new QVBoxLayout(m_contentArea);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(0);
    m_contentArea->installEventFilter(this);
    column->addWidget(m_contentArea, 1);

    m_toastHost = new ToastHost(m_contentArea);
    m_toastHost->setObjectName(QStringLiteral("toastOverlay"));
    m_toastHost->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *hostLayout = new QVBoxLayout(m_toastHost);
    hostLayout->setContentsMargins(toastShadowRoom);
    m_toastOpacity = new QGraphicsOpacityEffect(m_toastHost);
    m_toastHost->setGraphicsEffect(m_toastOpacity);
    m_toastHost->hide();
    m_toastAnimation = new QParallelAnimationGroup(this);
    m_formerToast = new FormerToastPicture(m_contentArea);
    m_toastChange = new QVariantAnimation(this);
    m_toastChange->setStartValue(0.0);
    m_toastChange->setEndValue(1.0);
    m_toastChange->setDuration(toastAnimationMilliseconds);
    m_toastChange->setEasingCurve(easeOut());
    connect(m_toastChange, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        static_cast<FormerToastPicture *>(m_formerToast)->setOpacity(1 - value.toReal());
        placeToast();
    });
    // Finished or cut short, the toast is left as itself.
    connect(m_toastChange, &QAbstractAnimation::stateChanged, this,
            [this](QAbstractAnimation::State state) {
                if (state != QAbstractAnimation::Stopped)
                    return;
                m_formerToast->hide();
                placeToast();
            });
    return detail;
}

QWidget *ClientWindowView::makePage(ClientWindowSection section) {
    switch (section) {
    case ClientWindowSection::home:
        return new MainPanelView(m_viewModel, m_configurationStore, m_permissionCoordinator);
    case ClientWindowSection::settings: {
        auto *settings = new SettingsView(m_configurationStore, m_permissionCoordinator,
                                          m_viewModel.shortcutActivationState(),
                                          m_dependencies.shortcutSettings);
        settings->setShortcutRoute(m_viewModel.shortcutRoute());
        return settings;
    }
    case ClientWindowSection::instructions:
        return new InstructionLibraryView(m_viewModel);
    case ClientWindowSection::history:
        return new HistoryListView(m_viewModel);
    case ClientWindowSection::lexicon:
        return new PersonalLexiconView(m_viewModel);
    }
    Q_UNREACHABLE();
}

void ClientWindowView::setSelection(std::optional<ClientWindowSection> selection) {
    m_selection = selection;
    for (SidebarRow *row : std::as_const(m_rows))
        row->setSelected(selection == row->section());
    showPage();
    renderHeader();
}

QAbstractAnimation *ClientWindowView::toastChange() const {
    return m_toastChange;
}

ClientWindowToastView *ClientWindowView::toastView() const {
    return m_toastLeaving ? nullptr : m_toast;
}

ClientWindowSection ClientWindowView::shownSection() const {
    return m_selection.value_or(ClientWindowSection::home);
}

void ClientWindowView::showPage() {
    // Each section's page is a branch of its own: leaving it discards
    // whatever the user left in it; staying keeps it.
    const ClientWindowSection section = shownSection();
    if (m_page && m_pageSection == section)
        return;
    if (m_page) {
        m_page->hide();
        m_contentLayout->removeWidget(m_page);
        // Later: the click that asked for the switch may come from inside.
        m_page->deleteLater();
    }
    m_page = makePage(section);
    m_page->setParent(m_contentArea);
    m_pageSection = section;
    m_contentLayout->addWidget(m_page);
    m_page->show();
    m_toastHost->raise();
    m_formerToast->raise();
    for (SidebarRow *row : std::as_const(m_rows))
        row->setSelected(m_selection == row->section());
}

void ClientWindowView::renderHeader() {
    const ClientWindowSection section = shownSection();
    m_headerTitle->setText(title(section));

    const RecordingState state = m_viewModel.recordingState();
    const bool recording = state.is(RecordingState::Case::recording);
    const QString symbol =
        recording ? QStringLiteral("stop.circle.fill") : QStringLiteral("mic.circle.fill");
    if (symbol != m_recordButtonSymbol) {
        m_recordButtonSymbol = symbol;
        m_recordButton->setIcon(
            recordIcon(symbol, recording ? TovalitPalette::red() : TovalitPalette::brandStrong()));
    }
    m_recordButton->setAccessibleName(recording ? QStringLiteral("停止录音")
                                                : QStringLiteral("开始录音"));

    const bool onHome = m_selection == ClientWindowSection::home;
    const bool busy = state.is(RecordingState::Case::requestingPermission) ||
                      state.is(RecordingState::Case::thinking) ||
                      state.is(RecordingState::Case::inserting);
    m_recordButton->setVisible(onHome);
    m_recordButton->setEnabled(onHome && !busy);
}

void ClientWindowView::toggleRecording() {
    // The same decision as a press of the shortcut; the button does not
    // wait for it.
    TranscriberViewModel *viewModel = &m_viewModel;
    spawn(
        viewModel, [viewModel] { return viewModel->toggleRecording(); },
        QStringLiteral("record button"));
}

void ClientWindowView::handleToast() {
    const std::optional<AppToastState> toast = m_viewModel.appToast();
    if (toast) {
        if (!m_toast) {
            m_toast = new ClientWindowToastView(*toast, m_toastHost);
            m_toast->setCastsShadow(false);
            m_toastHost->layout()->addWidget(m_toast);
        } else {
            // A toast that replaces a shown one changes in place; only one
            // that is coming or going rides the slide instead.
            const bool settled = m_toastHost->isVisible() && !m_toastLeaving &&
                                 m_toastAnimation->state() != QAbstractAnimation::Running;
            if (settled)
                beginToastChange();
            else
                m_toastChange->stop();
            m_toast->setToast(*toast);
        }
        const bool wasShowing = m_toastHost->isVisible() && !m_toastLeaving;
        m_toastLeaving = false;
        placeToast();
        if (!wasShowing)
            animateToast(true);
        return;
    }
    if (m_toast && !m_toastLeaving) {
        m_toastChange->stop();
        m_toastLeaving = true;
        animateToast(false);
    }
}

void ClientWindowView::beginToastChange() {
    // From what the window shows there now, a change under way included.
    QWidget *top = window();
    const QRect shown = m_toastHost->geometry();
    const QPixmap picture =
        top->grab(QRect(m_contentArea->mapTo(top, shown.topLeft()), shown.size()));
    m_changeFromHeight = m_toast->height();
    m_toastChange->stop();
    static_cast<FormerToastPicture *>(m_formerToast)->showPicture(picture, shown);
    m_toastChange->start();
}

void ClientWindowView::placeToast() {
    if (!m_toast)
        return;
    const int available = m_contentArea->width() - 2 * toastTopPadding;
    const int width = ClientWindowToastView::widthFor(available);
    const int natural = m_toast->heightForWidth(width);
    int height = natural > 0 ? natural : m_toast->sizeHint().height();
    if (m_toastChange->state() != QAbstractAnimation::Stopped) {
        const qreal progress = m_toastChange->currentValue().toReal();
        height = int(std::lround(m_changeFromHeight + (height - m_changeFromHeight) * progress));
    }
    m_toast->setFixedSize(width, height);
    const QSize host(width + toastShadowRoom.left() + toastShadowRoom.right(),
                     m_toast->height() + toastShadowRoom.top() + toastShadowRoom.bottom());
    m_toastHost->resize(host);
    const int x = (m_contentArea->width() - host.width()) / 2;
    if (m_toastAnimation->state() != QAbstractAnimation::Running) {
        m_toastHost->move(x, toastTopPadding - toastShadowRoom.top());
    } else if (auto *slide = qobject_cast<QPropertyAnimation *>(m_toastAnimation->animationAt(0))) {
        // The page was laid out, or resized, while the toast slides (one
        // already up when the window is made starts before the page has a
        // width): it goes on down the page's new middle.
        slide->setStartValue(QPoint(x, slide->startValue().toPoint().y()));
        slide->setEndValue(QPoint(x, slide->endValue().toPoint().y()));
    }
    m_toastHost->raise();
    m_formerToast->raise();
}

void ClientWindowView::animateToast(bool entering) {
    m_toastAnimation->stop();
    m_toastAnimation->clear();
    const QPoint shown((m_contentArea->width() - m_toastHost->width()) / 2,
                       toastTopPadding - toastShadowRoom.top());
    const QPoint hidden(shown.x(), -m_toastHost->height());

    auto *slide = new QPropertyAnimation(m_toastHost, "pos");
    slide->setDuration(toastAnimationMilliseconds);
    slide->setEasingCurve(QEasingCurve::OutCubic);
    // A toast coming back while it leaves turns round where it is.
    const bool visible = m_toastHost->isVisible();
    slide->setStartValue(entering && !visible ? hidden : m_toastHost->pos());
    slide->setEndValue(entering ? shown : hidden);
    auto *fade = new QPropertyAnimation(m_toastOpacity, "opacity");
    fade->setDuration(toastAnimationMilliseconds);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    fade->setStartValue(entering && !visible ? 0.0 : m_toastOpacity->opacity());
    fade->setEndValue(entering ? 1.0 : 0.0);
    m_toastAnimation->addAnimation(slide);
    m_toastAnimation->addAnimation(fade);

    m_toastAnimation->disconnect(this);
    if (!entering) {
        connect(m_toastAnimation, &QAbstractAnimation::finished, this, [this] {
            if (!m_toastLeaving)
                return;
            m_toastLeaving = false;
            m_toastHost->hide();
            delete m_toast;
            m_toast = nullptr;
        });
    }
    m_toastHost->show();
    m_toastHost->raise();
    m_toastAnimation->start();
}

bool ClientWindowView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_contentArea && event->type() == QEvent::Resize)
        placeToast();
    return QWidget::eventFilter(watched, event);
}

} // namespace tovalit
