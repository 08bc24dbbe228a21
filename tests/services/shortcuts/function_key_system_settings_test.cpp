#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/scripted_command_runner.h"
#include "platform/linux/defaults_command_stand_in.h"
#include "platform/linux/ini_defaults_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temporary_user_folders.h"

#include <QFile>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Behavior = FunctionKeySystemBehavior;

const QStringList readArguments{"read", "com.apple.HIToolbox", "AppleFnUsageType"};

const QString listening =
    QStringLiteral("Fn 已开始监听（Linux 无法拦截 Fn，当前应用也会收到这次按键）");

class FunctionKeySystemSettingsTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedCommandRunner> runner = std::make_shared<ScriptedCommandRunner>();
    std::shared_ptr<FakeSystemSettingsOpener> opener = std::make_shared<FakeSystemSettingsOpener>();
    FunctionKeySystemSettings settings{runner, opener};
};

TEST(FunctionKeySystemBehavior, ParsesOnlyTheFourKnownDecimalValues) {
    EXPECT_EQ(FunctionKeySystemSettings::parseBehavior("0\n"), Behavior::doNothing);
    EXPECT_EQ(FunctionKeySystemSettings::parseBehavior(" 2 "), Behavior::showEmojiAndSymbols);
    EXPECT_EQ(FunctionKeySystemSettings::parseBehavior("+3"), Behavior::startDictation);
    EXPECT_EQ(FunctionKeySystemSettings::parseBehavior("-0"), Behavior::doNothing);
    EXPECT_EQ(FunctionKeySystemSettings::parseBehavior("\u3000"
                                                       "1\r\n"),
              Behavior::changeInputSource);
    for (const char *text : {"4", "-1", "", "abc", "+", "1.0", "0x1", "１", "99999999999999999999"})
        EXPECT_EQ(FunctionKeySystemSettings::parseBehavior(QString::fromUtf8(text)), std::nullopt)
            << text;
    EXPECT_EQ(title(Behavior::doNothing), QStringLiteral("不执行任何操作"));
    EXPECT_EQ(title(Behavior::startDictation), QStringLiteral("启动听写"));
}

TEST_F(FunctionKeySystemSettingsTest, ReadsTheSettingWithTheDefaultsTool) {
    runner->enqueueSuccess("0\n");
    EXPECT_EQ(settings.explicitBehavior(), Behavior::doNothing);
    ASSERT_EQ(runner->calls().size(), 1);
    EXPECT_EQ(runner->calls()[0],
              (ScriptedCommandRunner::Call{QStringLiteral("/usr/bin/defaults"), readArguments}));

    runner->enqueueSuccess("0\n");
    EXPECT_TRUE(settings.isExplicitlyConflictFree());
    runner->enqueueSuccess("0\n");
    EXPECT_EQ(settings.activationStateMessage(), ShortcutActivationState::ready(listening));
    runner->enqueueSuccess("3\n");
    EXPECT_FALSE(settings.isExplicitlyConflictFree());
    runner->enqueueSuccess("2\n");
    EXPECT_EQ(settings.activationStateMessage(), ShortcutActivationState::degraded(listening))
        << "the text says only what is true on Linux; the state still tells them apart";

    // No Linux desktop gives Fn an action of its own, so the caption needs
    // no reading.
    const qsizetype calls = runner->calls().size();
    EXPECT_EQ(settings.helperMessage(),
              QStringLiteral("Linux 桌面不会给 Fn 键分配系统操作，无需额外设置。Tovalit 只能监听 "
                             "Fn、不能拦截，当前应用也会收到这次按键。很多键盘的 Fn "
                             "由硬件处理、不会上报，这时请录制一个组合快捷键。"));
    EXPECT_EQ(runner->calls().size(), calls);
}

TEST_F(FunctionKeySystemSettingsTest, AnUnreadableSettingReadsAsNoExplicitBehavior) {
    runner->enqueueFailure(1, "The domain/default pair of (com.apple.HIToolbox, "
                              "AppleFnUsageType) does not exist\n");
    EXPECT_EQ(settings.explicitBehavior(), std::nullopt);
    runner->enqueueFailure(1, "");
    EXPECT_EQ(settings.activationStateMessage(), ShortcutActivationState::degraded(listening));
    runner->enqueue(CommandLaunchError(QStringLiteral("/usr/bin/defaults"), QStringLiteral("x")));
    EXPECT_EQ(settings.explicitBehavior(), std::nullopt);
    runner->enqueueSuccess("7\n");
    EXPECT_EQ(settings.explicitBehavior(), std::nullopt);
    runner->enqueueSuccess(QByteArray("\xff\xfe"));
    EXPECT_EQ(settings.explicitBehavior(), std::nullopt) << "undecodable output reads as empty";
}

TEST_F(FunctionKeySystemSettingsTest, WritingReadsTheValueBackAndReportsWhatWentWrong) {
    runner->enqueueSuccess("");
    runner->enqueueSuccess("0\n");
    EXPECT_NO_THROW(settings.setExplicitBehavior(Behavior::doNothing));
    ASSERT_EQ(runner->calls().size(), 2);
    EXPECT_EQ(runner->calls()[0].arguments,
              (QStringList{"write", "com.apple.HIToolbox", "AppleFnUsageType", "-int", "0"}));
    EXPECT_EQ(runner->calls()[1].arguments, readArguments);

    runner->enqueueSuccess("");
    runner->enqueueSuccess("1\n");
    try {
        settings.setExplicitBehavior(Behavior::doNothing);
        ADD_FAILURE() << "a read-back of another value must fail";
    } catch (const FunctionKeySystemSettingsError &error) {
        EXPECT_EQ(error.kind(), FunctionKeySystemSettingsError::Kind::synchronizeFailed);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("保存 Fn 设置失败。"));
    }
    runner->enqueueSuccess("");
    runner->enqueueFailure(1, "gone");
    EXPECT_THROW(settings.setExplicitBehavior(Behavior::startDictation),
                 FunctionKeySystemSettingsError)
        << "a failed read-back is a failed write";

    runner->enqueueFailure(1, "  denied \n");
    try {
        settings.setExplicitBehavior(Behavior::doNothing);
        ADD_FAILURE() << "a failed write must fail";
    } catch (const FunctionKeySystemSettingsError &error) {
        EXPECT_EQ(error.kind(), FunctionKeySystemSettingsError::Kind::commandFailed);
        EXPECT_EQ(error.message(), QStringLiteral("denied"));
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("保存设置失败：denied"));
    }
    const qsizetype callsBefore = runner->calls().size();
    runner->enqueue(CommandLaunchError(QStringLiteral("/usr/bin/defaults"), QStringLiteral("x")));
    EXPECT_THROW(settings.setExplicitBehavior(Behavior::doNothing), CommandLaunchError)
        << "a launch error is passed on as it is";
    EXPECT_EQ(runner->calls().size(), callsBefore + 1) << "no read-back after a failed write";
}

TEST_F(FunctionKeySystemSettingsTest, OpensTheKeyboardSettings) {
    settings.openKeyboardSettings();
    EXPECT_EQ(opener->opened(),
              QList<QUrl>{QUrl("x-apple.systempreferences:com.apple.preference.keyboard")});
}

TEST(DefaultsCommandStandIn, KeepsTheFnUsageInOurSettingsAndRefusesAnythingElse) {
    auto store = std::make_shared<InMemoryDefaultsStore>();
    auto standIn = std::make_shared<DefaultsCommandStandIn>(store);
    const QString tool = QStringLiteral("/usr/bin/defaults");

    const CommandOutput initial = standIn->run(tool, readArguments);
    EXPECT_EQ(initial.exitStatus, 0);
    EXPECT_EQ(initial.standardOutput, "0\n") << "Linux gives Fn no action of its own";

    const QStringList write{"write", "com.apple.HIToolbox", "AppleFnUsageType", "-int", "+2"};
    EXPECT_EQ(standIn->run(tool, write).exitStatus, 0);
    EXPECT_EQ(store->string(QLatin1String(DefaultsCommandStandIn::storageKey)),
              QStringLiteral("2"));
    EXPECT_EQ(standIn->run(tool, readArguments).standardOutput, "2\n");

    const CommandOutput notANumber =
        standIn->run(tool, {"write", "com.apple.HIToolbox", "AppleFnUsageType", "-int", "two"});
    EXPECT_NE(notANumber.exitStatus, 0);
    EXPECT_FALSE(notANumber.standardError.isEmpty());
    EXPECT_EQ(standIn->run(tool, readArguments).standardOutput, "2\n") << "left as it was";

    EXPECT_NE(standIn->run(tool, {"read", "com.apple.HIToolbox", "AppleKeyboardUIMode"}).exitStatus,
              0);
    EXPECT_NE(standIn->run(tool, {"delete", "com.apple.HIToolbox", "AppleFnUsageType"}).exitStatus,
              0);
    EXPECT_THROW(standIn->run(QStringLiteral("/usr/bin/true"), {}), CommandLaunchError);

    // Writing and reading back work end to end.
    FunctionKeySystemSettings settings(standIn, std::make_shared<FakeSystemSettingsOpener>());
    EXPECT_FALSE(settings.isExplicitlyConflictFree());
    settings.setExplicitBehavior(Behavior::doNothing);
    EXPECT_TRUE(settings.activationStateMessage().isHealthy());

    store->setString(QLatin1String(DefaultsCommandStandIn::storageKey), QStringLiteral("junk"));
    EXPECT_EQ(settings.explicitBehavior(), std::nullopt) << "a damaged value is unreadable";
}

TEST(DefaultsCommandStandIn, AWriteThatDoesNotReachTheDiskFails) {
    auto store = std::make_shared<InMemoryDefaultsStore>();
    auto standIn = std::make_shared<DefaultsCommandStandIn>(store);
    store->failSynchronizing(QStringLiteral("No space left on device"));
    FunctionKeySystemSettings settings(standIn, std::make_shared<FakeSystemSettingsOpener>());
    try {
        settings.setExplicitBehavior(Behavior::doNothing);
        ADD_FAILURE() << "a write onto a full disk must fail";
    } catch (const FunctionKeySystemSettingsError &error) {
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("保存设置失败：Could not write com.apple.HIToolbox "
                                 "AppleFnUsageType: No space left on device"));
    }
}

TEST(DefaultsCommandStandIn, TheValueLivesInTheApplicationsSettingsFileBesideItsOwnKeys) {
    testing::TemporaryUserFolders folders;
    IniDefaultsStore defaults(IniDefaultsStore::standardFilePath());
    AppConfigurationStore store(defaults, AppConfigurationStore::Environment{});
    FunctionKeySystemSettings settings;
    settings.setExplicitBehavior(Behavior::showEmojiAndSymbols);
    // A later save of the settings store keeps it.
    store.setMeetingModeEnabled(false);

    QFile file(folders.configHome() + QStringLiteral("/Tovalit/Tovalit.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[com.apple.HIToolbox]\nAppleFnUsageType=2\n")) << text.constData();
    EXPECT_TRUE(text.contains("vellup_transcriber.meetingModeEnabled=false")) << text.constData();
    EXPECT_EQ(FunctionKeySystemSettings().explicitBehavior(), Behavior::showEmojiAndSymbols);
}

} // namespace
} // namespace tovalit
