#include "tests/views/window_pages_fixture.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_switch.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/settings/segmented_picker.h"
#include "views/settings/settings_view.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

class SettingsPageTest : public WindowPagesTest {
protected:
    SettingsView &makePage() {
        makeObjects();
        page = std::make_unique<SettingsView>(*store, *permissions,
                                              viewModel->shortcutActivationState(),
                                              doubles.clientWindowDependencies().shortcutSettings);
        page->resize(760, 900);
        return *page;
    }
    QWidget &permissionRow(PermissionKind kind) {
        return *page->findChild<QWidget *>(QStringLiteral("permissionRow.") + rawValue(kind));
    }
    QStringList rowButtons(PermissionKind kind) { return buttonTitles(permissionRow(kind)); }
    QString rowBadge(PermissionKind kind) {
        return permissionRow(kind).findChild<TovalitBadge *>()->title();
    }
    TovalitBadgeTone rowTone(PermissionKind kind) {
        return permissionRow(kind).findChild<TovalitBadge *>()->tone();
    }
    // What a fresh start would read back from the user defaults.
    AppConfigurationStore reloaded() {
        return AppConfigurationStore(*doubles.defaults, ShellDoubles::gatewayEnvironment());
    }

    ~SettingsPageTest() override { page.reset(); }

    std::unique_ptr<SettingsView> page;
};

TEST_F(SettingsPageTest, EveryControlWritesTheStoreAtOnceAndFollowsIt) {
    SettingsView &settings = makePage();
    auto *meeting = settings.findChild<TovalitSwitch *>(QStringLiteral("meetingModeSwitch"));
    auto *badge = settings.findChild<TovalitBadge *>(QStringLiteral("meetingModeBadge"));
    auto *symbol = settings.findChild<TovalitSymbolView *>(QStringLiteral("meetingModeSymbol"));
    ASSERT_TRUE(meeting && badge && symbol);
    EXPECT_TRUE(meeting->isChecked());
    EXPECT_EQ(badge->title(), QStringLiteral("默认开启"));
    EXPECT_EQ(badge->tone(), TovalitBadgeTone::brand);
    EXPECT_EQ(symbol->color(), TovalitPalette::brandStrong());

    meeting->click();
    EXPECT_FALSE(store->meetingModeEnabled());
    EXPECT_FALSE(reloaded().meetingModeEnabled()) << "saved at once";
    EXPECT_EQ(badge->title(), QStringLiteral("已关闭"));
    EXPECT_EQ(badge->tone(), TovalitBadgeTone::neutral);
    EXPECT_EQ(symbol->color(), TovalitPalette::secondary());

    auto *locale = settings.findChild<SegmentedPicker *>(QStringLiteral("localePicker"));
    EXPECT_EQ(locale->value(), QStringLiteral("zh-CN"));
    locale->segment(1)->click();
    EXPECT_EQ(store->preferredLocaleIdentifier(), QStringLiteral("en-US"));
    EXPECT_EQ(reloaded().preferredLocaleIdentifier(), QStringLiteral("en-US"));
    store->setPreferredLocaleIdentifier(QStringLiteral("ja-JP"));
    EXPECT_EQ(locale->value(), QString()) << "an unknown locale selects no segment";
    EXPECT_FALSE(locale->segment(0)->isChecked() || locale->segment(1)->isChecked());
    locale->segment(0)->click();
    EXPECT_EQ(store->preferredLocaleIdentifier(), QStringLiteral("zh-CN"));

    struct Toggle {
        const char *name;
        std::function<bool(const AppConfigurationStore &)> read;
    };
    const QList<Toggle> toggles{
        {"autoInsertToggle", &AppConfigurationStore::autoInsertIntoFocusedInput},
        {"autoCopyToggle", &AppConfigurationStore::autoCopyFinalText},
        {"keepAudioToggle", &AppConfigurationStore::keepAudioFiles},
    };
    for (const Toggle &toggle : toggles) {
        auto *box = settings.findChild<QCheckBox *>(QString::fromLatin1(toggle.name));
        ASSERT_NE(box, nullptr) << toggle.name;
        EXPECT_TRUE(box->isChecked()) << toggle.name;
        box->click();
        EXPECT_FALSE(toggle.read(*store)) << toggle.name;
        EXPECT_FALSE(toggle.read(reloaded())) << toggle.name;
    }
    // Changes made elsewhere show here.
    store->setKeepAudioFiles(true);
    store->setMeetingModeEnabled(true);
    EXPECT_TRUE(settings.findChild<QCheckBox *>(QStringLiteral("keepAudioToggle"))->isChecked());
    EXPECT_TRUE(meeting->isChecked());
    EXPECT_EQ(badge->title(), QStringLiteral("默认开启"));
}

TEST_F(SettingsPageTest, PermissionRowsOfferTheRepairsTheirStateNeeds) {
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::denied);
    doubles.probe->setTrusted(false);
    SettingsView &settings = makePage();
    QStringList order;
    for (QWidget *row : settings.findChild<QWidget *>(QStringLiteral("permissionRows"))
                            ->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        order << row->objectName();
    EXPECT_EQ(order, (QStringList{QStringLiteral("permissionRow.microphone"),
                                  QStringLiteral("permissionRow.inputMonitoring"),
                                  QStringLiteral("permissionRow.accessibility")}));

    EXPECT_EQ(rowBadge(PermissionKind::microphone), QStringLiteral("已拒绝"));
    EXPECT_EQ(rowTone(PermissionKind::microphone), TovalitBadgeTone::warning)
        << "a refusal is a warning, not a danger";
    EXPECT_EQ(rowButtons(PermissionKind::microphone), QStringList{QStringLiteral("打开声音设置")});
    EXPECT_EQ(rowBadge(PermissionKind::accessibility), QStringLiteral("需手动开启"));
    EXPECT_EQ(rowButtons(PermissionKind::accessibility),
              QStringList{QStringLiteral("开启辅助技术")});
    EXPECT_EQ(rowBadge(PermissionKind::inputMonitoring), QStringLiteral("已授权"));
    EXPECT_EQ(rowTone(PermissionKind::inputMonitoring), TovalitBadgeTone::success);
    EXPECT_TRUE(rowButtons(PermissionKind::inputMonitoring).isEmpty());

    // The microphone's button runs the guided flow: a decided microphone
    // is not asked again, its pane opens.
    buttonTitled(permissionRow(PermissionKind::microphone), QStringLiteral("打开声音设置"))
        ->click();
    waitUntil([&] { return !doubles.opener->opened().isEmpty(); }, "the microphone pane to open");
    EXPECT_TRUE(doubles.opener->opened().last().toString().endsWith(u"Privacy_Microphone"));
    EXPECT_FALSE(doubles.probe->requests().contains(QStringLiteral("microphone")));

    // Accessibility is switched on through the accessibility bus itself.
    buttonTitled(permissionRow(PermissionKind::accessibility), QStringLiteral("开启辅助技术"))
        ->click();
    EXPECT_TRUE(doubles.probe->requests().contains(QStringLiteral("trust-prompt")));
    EXPECT_EQ(doubles.opener->opened().size(), 1);

    // "重新检查" reads the system again; granted rows keep only their badge.
    doubles.grantEverything();
    QSignalSpy refreshed(permissions.get(), &PermissionCoordinator::statesChanged);
    buttonTitled(settings, QStringLiteral("重新检查"))->click();
    EXPECT_EQ(refreshed.count(), 1);
    for (PermissionKind kind : allPermissionKinds) {
        EXPECT_EQ(rowBadge(kind), QStringLiteral("已授权"));
        EXPECT_TRUE(rowButtons(kind).isEmpty()) << rawValue(kind).toStdString();
    }
}

TEST_F(SettingsPageTest, PermissionButtonsStandAtTheTopOfTheirRow) {
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::denied);
    doubles.probe->setTrusted(false);
    makePage().show();
    processEventsFor(std::chrono::milliseconds(20));
    // Rows are aligned to the top inside their padding of 16: the buttons
    // line up with the title, not with the middle of the text.
    for (PermissionKind kind : {PermissionKind::microphone, PermissionKind::accessibility}) {
        QWidget &row = permissionRow(kind);
        const QList<QPushButton *> buttons = row.findChildren<QPushButton *>();
        ASSERT_FALSE(buttons.isEmpty());
        ASSERT_GT(row.height() - 2 * 16, buttons.first()->height() + 4)
            << "the text is taller than the buttons";
        for (QPushButton *button : buttons)
            EXPECT_EQ(button->mapTo(&row, QPoint(0, 0)).y(), 16) << rawValue(kind).toStdString();
        EXPECT_EQ(row.findChild<TovalitBadge *>()->mapTo(&row, QPoint(0, 0)).y(), 16);
    }
}

TEST_F(SettingsPageTest, ShowingThePageChecksThePermissionsAgain) {
    SettingsView &settings = makePage();
    QSignalSpy refreshed(permissions.get(), &PermissionCoordinator::statesChanged);
    doubles.probe->setListenEventAccess(false);
    settings.show();
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(rowBadge(PermissionKind::inputMonitoring), QStringLiteral("需手动开启"));
    EXPECT_EQ(rowButtons(PermissionKind::inputMonitoring), QStringList{QStringLiteral("复制命令")})
        << "no desktop has a page for the input group";
    EXPECT_NE(permissionRow(PermissionKind::inputMonitoring)
                  .findChild<QWidget *>(QStringLiteral("inputGroupSteps")),
              nullptr);
    buttonTitled(permissionRow(PermissionKind::inputMonitoring), QStringLiteral("复制命令"))
        ->click();
    EXPECT_TRUE(doubles.opener->opened().isEmpty());
    EXPECT_TRUE(doubles.probe->requests().isEmpty()) << "copying the command requests nothing";
}

} // namespace
} // namespace tovalit::testing
