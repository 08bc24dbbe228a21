#include "views/hud/floating_hud_toast_view.h"

#include "views/design/accessible_panel.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/hud_layout.h"

#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

namespace tovalit {

namespace {

QString iconName(bool isError) {
    return isError ? QStringLiteral("exclamationmark.circle.fill")
                   : QStringLiteral("checkmark.circle.fill");
}

QColor iconColor(bool isError) {
    return isError ? TovalitPalette::red() : TovalitPalette::brandStrong();
}

} // namespace

ToastActionButton::ToastActionButton(QWidget *parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("toastActionButton"));
    setFont(tovalitFont(11, QFont::DemiBold));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToastActionButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    return {int(std::ceil(metrics.horizontalAdvance(text()) + 20)),
            int(std::ceil(metrics.height() + 12))};
}

QSize ToastActionButton::minimumSizeHint() const {
    return sizeHint();
}

void ToastActionButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    painter.setPen(Qt::NoPen);
    // A plain button: held down it looks as it does at rest.
    painter.setBrush(TovalitPalette::white(0.26));
    painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.setPen(TovalitPalette::toastForeground());
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, text());
}

namespace {

// The message is one element to a screen reader, named with it: its label
// would have it read twice. The button stays, to be pressed. It is found
// as a child rather than through the member, which the toast's parts may
// be asked about before it is set.
bool presentToastAsOneElement() {
    static const bool presented = [] {
        presentPanelAsOneElement(
            FloatingHUDToastView::staticMetaObject, QAccessible::StaticText, [](QWidget *toast) {
                return QList<QWidget *>{
                    toast->findChild<ToastActionButton *>(QString(), Qt::FindDirectChildrenOnly)};
            });
        return true;
    }();
    return presented;
}

} // namespace

FloatingHUDToastView::FloatingHUDToastView(QWidget *parent)
    : TovalitGlassSurface((presentToastAsOneElement(), TovalitGlassLevel::toast(false)), parent)
    , m_icon(new TovalitSymbolView(iconName(false), 12, iconColor(false), this))
    , m_message(new TovalitTextLabel(QString(), tovalitFont(11, QFont::Medium),
                                     TovalitPalette::toastForeground(), this))
    , m_button(new ToastActionButton(this)) {
    setObjectName(QStringLiteral("FloatingHUDToastView"));
    m_message->setObjectName(QStringLiteral("toastMessage"));
    m_message->setMaximumLineCount(5);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(10);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addWidget(m_message, 1, Qt::AlignVCenter);
    row->addWidget(m_button, 0, Qt::AlignVCenter);
    m_button->hide();
    setFixedWidth(int(HUDLayout::toastPanelWidth));
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    connect(m_button, &QAbstractButton::clicked, this, [this] {
        // The action may replace this toast; it runs from a copy.
        if (auto action = m_onAction)
            action();
    });
}

void FloatingHUDToastView::setContent(const QString &message, bool isError,
                                      std::optional<QString> actionTitle,
                                      std::function<void()> onAction) {
    m_isError = isError;
    setLevel(TovalitGlassLevel::toast(isError));
    m_icon->setSymbol(iconName(isError), iconColor(isError));
    m_message->setText(message);
    setAccessibleName(message);
    const bool hasButton = actionTitle.has_value() && bool(onAction);
    m_onAction = hasButton ? std::move(onAction) : nullptr;
    m_button->setText(actionTitle.value_or(QString()));
    m_button->setVisible(hasButton);
    updateGeometry();
}

QString FloatingHUDToastView::message() const {
    return m_message->text();
}

} // namespace tovalit
