#include "views/permissions/permission_row.h"

#include "services/permissions/permission_coordinator.h"
#include "support/spawn.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/permissions/permission_badge_tone.h"

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

void openSystemSettings(PermissionCoordinator *coordinator, PermissionKind kind) {
    if (kind == PermissionKind::microphone) {
        // The guided flow asks first when the user was never asked.
        spawn(
            coordinator, [coordinator] { return coordinator->guideMicrophoneAccess(); },
            QStringLiteral("guide microphone access"));
        return;
    }
    // Like the microphone's, the action only starts the work.
    QMetaObject::invokeMethod(
        coordinator, [coordinator, kind] { coordinator->openSystemSettings(kind); },
        Qt::QueuedConnection);
}

} // namespace

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
    row->addLayout(text, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    PermissionCoordinator *coordinatorPointer = &coordinator;
    if (placement == Placement::onboarding && state.kind == PermissionKind::microphone &&
        state.status == PermissionAuthorizationState::notDetermined) {
        auto *request = new TovalitButton(QStringLiteral("请求麦克风授权"),
                                          TovalitButton::Style::bordered, this);
        connect(request, &QPushButton::clicked, coordinatorPointer, [coordinatorPointer] {
            spawn(
                coordinatorPointer,
                [coordinatorPointer] {
                    return coordinatorPointer->requestMicrophonePermissionAgain();
                },
                QStringLiteral("request microphone"));
        });
        buttons->addWidget(request);
    }
    if (state.kind == PermissionKind::accessibility && !state.isGranted()) {
        auto *prompt =
            new TovalitButton(QStringLiteral("再次提示"), TovalitButton::Style::bordered, this);
        connect(prompt, &QPushButton::clicked, coordinatorPointer,
                [coordinatorPointer] { coordinatorPointer->promptAccessibilityAgain(); });
        buttons->addWidget(prompt);
    }
    if (!state.isGranted()) {
        auto *open = new TovalitButton(QStringLiteral("打开系统设置"),
                                       TovalitButton::Style::borderedProminent, this);
        const PermissionKind kind = state.kind;
        connect(open, &QPushButton::clicked, coordinatorPointer,
                [coordinatorPointer, kind] { openSystemSettings(coordinatorPointer, kind); });
        buttons->addWidget(open);
    }
    // In both places the row is aligned to the top: the buttons line up
    // with the title.
    row->addLayout(buttons);
    row->setAlignment(buttons, Qt::AlignTop);
}

} // namespace tovalit
