#include "views/permissions/permission_row.h"

#include "services/permissions/permission_coordinator.h"
#include "support/spawn.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/permissions/permission_badge_tone.h"
#include "views/permissions/remote_desktop_keyboard_grant_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

namespace {

struct Look {
    TovalitGlassLevel level;
    int padding;
    int spacing;
    int textSpacing;
    QFont titleFont;
    QFont summaryFont;
};

Look lookFor(PermissionRow::Placement placement) {
    if (placement == PermissionRow::Placement::onboarding)
        return {TovalitGlassLevel::prominentCard(), 18, 16, 6, TovalitTextStyle::headline(),
                TovalitTextStyle::subheadline()};
    return {TovalitGlassLevel::card(),  16, 14, 4, tovalitFont(11, QFont::DemiBold),
            TovalitTextStyle::caption()};
}

void openSoundSettings(PermissionCoordinator *coordinator) {
    // The guided flow checks first when the microphone was never checked.
    spawn(
        coordinator, [coordinator] { return coordinator->guideMicrophoneAccess(); },
        QStringLiteral("guide microphone access"));
}

// What the row's main button does for a kind not yet granted.
QString repairTitle(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral("打开声音设置");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("复制命令");
    case PermissionKind::accessibility:
        return QStringLiteral("开启辅助技术");
    }
    return {};
}

// No desktop has a page for reading /dev/input: the administrator puts the
// user in the input group, which a new login session picks up.
TovalitTextLabel *inputGroupSteps(const QFont &font, QWidget *parent) {
    auto *steps = new TovalitTextLabel(
        QStringLiteral("1) 在终端运行：") + PermissionRow::inputGroupCommand() +
            QStringLiteral("（没有 sudo 时：su -c \"usermod -aG input 你的用户名\"）\n"
                           "2) 注销并重新登录（只重启 Tovalit 不够）\n"
                           "3) 回到 Tovalit 重新检查\n"
                           "注意：input 组里的程序都能读取所有按键。"),
        font, TovalitPalette::secondary(), parent);
    steps->setObjectName(QStringLiteral("inputGroupSteps"));
    return steps;
}

} // namespace

QString PermissionRow::inputGroupCommand() {
    return QStringLiteral("sudo usermod -aG input $USER");
}

PermissionRow::PermissionRow(const PermissionState &state, Placement placement,
                             PermissionCoordinator &coordinator, QWidget *parent)
    : TovalitGlassSurface(lookFor(placement).level, parent) {
    const Look look = lookFor(placement);
    setObjectName(QStringLiteral("permissionRow.") + rawValue(state.kind));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(look.padding, look.padding, look.padding, look.padding);
    row->setSpacing(look.spacing);

    auto *text = new QVBoxLayout;
    text->setSpacing(look.textSpacing);
    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    auto *name =
        new TovalitTextLabel(title(state.kind), look.titleFont, TovalitPalette::primary(), this);
    name->setWraps(false);
    titleRow->addWidget(name);
    titleRow->addWidget(new TovalitBadge(badgeLabel(state.status), badgeTone(state.status), this));
    titleRow->addStretch(1);
    text->addLayout(titleRow);
    text->addWidget(new TovalitTextLabel(summary(state.kind), look.summaryFont,
                                         TovalitPalette::secondary(), this));
    if (state.kind == PermissionKind::inputMonitoring && !state.isGranted())
        text->addWidget(inputGroupSteps(look.summaryFont, this));
    // In a Wayland session a paste into a native window also needs the
    // desktop's own keyboard, asked for here whatever the row's state.
    const std::shared_ptr<RemoteDesktopKeyboardAccess> keyboard =
        coordinator.remoteDesktopKeyboard();
    if (state.kind == PermissionKind::accessibility && keyboard)
        text->addWidget(new RemoteDesktopKeyboardGrantView(*keyboard, look.summaryFont, this));
    row->addLayout(text, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    PermissionCoordinator *coordinatorPointer = &coordinator;
    if (placement == Placement::onboarding && state.kind == PermissionKind::microphone &&
        state.status == PermissionAuthorizationState::notDetermined) {
        auto *check =
            new TovalitButton(QStringLiteral("检查麦克风"), TovalitButton::Style::bordered, this);
        connect(check, &QPushButton::clicked, coordinatorPointer, [coordinatorPointer] {
            spawn(
                coordinatorPointer,
                [coordinatorPointer] {
                    return coordinatorPointer->requestMicrophonePermissionAgain();
                },
                QStringLiteral("request microphone"));
        });
        buttons->addWidget(check);
    }
    if (!state.isGranted()) {
        auto *repair = new TovalitButton(repairTitle(state.kind),
                                         TovalitButton::Style::borderedProminent, this);
        switch (state.kind) {
        case PermissionKind::microphone:
            connect(repair, &QPushButton::clicked, coordinatorPointer,
                    [coordinatorPointer] { openSoundSettings(coordinatorPointer); });
            break;
        case PermissionKind::inputMonitoring:
            repair->setObjectName(QStringLiteral("copyInputGroupCommandButton"));
            connect(repair, &QPushButton::clicked, repair, [repair] {
                QGuiApplication::clipboard()->setText(inputGroupCommand());
                repair->setText(QStringLiteral("已复制"));
            });
            break;
        case PermissionKind::accessibility:
            // GNOME's and KDE's accessibility pages have no switch for the
            // accessibility bus; asking the bus itself is what works.
            repair->setToolTip(QStringLiteral("已打开的应用可能需要重新打开后才能被写入"));
            connect(repair, &QPushButton::clicked, coordinatorPointer,
                    [coordinatorPointer] { coordinatorPointer->promptAccessibilityAgain(); });
            break;
        }
        buttons->addWidget(repair);
    }
    // In both places the row is aligned to the top: the buttons line up
    // with the title.
    row->addLayout(buttons);
    row->setAlignment(buttons, Qt::AlignTop);
}

} // namespace tovalit
