#include "views/permissions/remote_desktop_keyboard_grant_view.h"

#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

namespace {

using State = RemoteDesktopKeyboardAccess::State;

const QString purpose =
    QStringLiteral("Wayland 会话中，要把文字粘贴进浏览器等原生 Wayland 窗口，Tovalit "
                   "需要借用桌面远程桌面门户提供的键盘；桌面会在自己的窗口里询问你。");
const QString noPortal =
    QStringLiteral("当前桌面没有提供远程桌面门户（多数 wlroots 合成器如此）：原生 Wayland "
                   "窗口只能通过辅助技术写入，写不进时文本会留在剪贴板。");

struct Look {
    QString badge;
    TovalitBadgeTone tone;
    // The request button's title; empty for no button.
    QString action;
};

Look lookFor(State state) {
    switch (state) {
    case State::notRequested:
        return {QStringLiteral("待授权"), TovalitBadgeTone::neutral, QStringLiteral("请求授权")};
    case State::requesting:
        return {QStringLiteral("等待确认"), TovalitBadgeTone::neutral, {}};
    case State::granted:
        return {QStringLiteral("已授权"), TovalitBadgeTone::success, {}};
    case State::refused:
        return {QStringLiteral("已拒绝"), TovalitBadgeTone::warning, QStringLiteral("重新请求")};
    case State::unavailable:
        return {QStringLiteral("不可用"), TovalitBadgeTone::neutral, {}};
    }
    return {};
}

} // namespace

RemoteDesktopKeyboardGrantView::RemoteDesktopKeyboardGrantView(RemoteDesktopKeyboardAccess &access,
                                                               const QFont &font, QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("remoteDesktopKeyboardGrant"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 4, 0, 0);
    column->setSpacing(4);

    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    QFont titleFont = font;
    titleFont.setWeight(QFont::DemiBold);
    auto *title = new TovalitTextLabel(QStringLiteral("远程桌面键盘"), titleFont,
                                       TovalitPalette::primary(), this);
    title->setWraps(false);
    titleRow->addWidget(title);
    m_badge = new TovalitBadge(QString(), TovalitBadgeTone::neutral, this);
    m_badge->setObjectName(QStringLiteral("remoteDesktopKeyboardBadge"));
    titleRow->addWidget(m_badge);
    titleRow->addStretch(1);
    column->addLayout(titleRow);

    m_explanation = new TovalitTextLabel(QString(), font, TovalitPalette::secondary(), this);
    m_explanation->setObjectName(QStringLiteral("remoteDesktopKeyboardExplanation"));
    column->addWidget(m_explanation);

    m_request = new TovalitButton(QString(), TovalitButton::Style::bordered, this);
    m_request->setObjectName(QStringLiteral("requestRemoteDesktopKeyboardButton"));
    column->addWidget(m_request, 0, Qt::AlignLeft);
    RemoteDesktopKeyboardAccess *target = &access;
    connect(m_request, &QPushButton::clicked, target, [target] { target->request(); });
    connect(&access, &RemoteDesktopKeyboardAccess::stateChanged, this,
            &RemoteDesktopKeyboardGrantView::render);
    render(access.state());
}

void RemoteDesktopKeyboardGrantView::render(RemoteDesktopKeyboardAccess::State state) {
    const Look look = lookFor(state);
    m_badge->setTitle(look.badge);
    m_badge->setTone(look.tone);
    m_explanation->setText(state == State::unavailable ? noPortal : purpose);
    m_request->setText(look.action);
    m_request->setVisible(!look.action.isEmpty());
}

} // namespace tovalit
