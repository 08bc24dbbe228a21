#include "platform/fake/in_memory_bundle_values.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/linux/ini_defaults_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "tests/support/capture_log.h"
#include "tests/support/file_contents.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tovalit {
namespace {

using Environment = AppConfigurationStore::Environment;
using State = PermissionAuthorizationState;

const QString persistedKeys[] = {
    QStringLiteral("vellup_transcriber.hasCompletedPermissionsOnboarding"),
    QStringLiteral("vellup_transcriber.preferredLocaleIdentifier"),
    QStringLiteral("vellup_transcriber.autoInsertIntoFocusedInput"),
    QStringLiteral("vellup_transcriber.autoCopyFinalText"),
    QStringLiteral("vellup_transcriber.keepAudioFiles"),
    QStringLiteral("vellup_transcriber.meetingModeEnabled"),
    QStringLiteral("vellup_transcriber.vellupResourceID"),
    QStringLiteral("vellup_transcriber.cachedMicrophonePermission"),
    QStringLiteral("vellup_transcriber.cachedInputMonitoringPermission"),
    QStringLiteral("vellup_transcriber.cachedAccessibilityPermission"),
    QStringLiteral("vellup_transcriber.shortcutConfiguration"),
};

const QString legacyKeys[] = {
    QStringLiteral("vellup_transcriber.vellupAppID"),
    QStringLiteral("vellup_transcriber.vellupAccessToken"),
    QStringLiteral("vellup_transcriber.vellupSecretKey"),
    QStringLiteral("vellup_transcriber.vellupAPIKey"),
    QStringLiteral("vellup_transcriber.vellupInstanceName"),
};

TEST(AppConfigurationStore, EmptyDefaultsYieldTheBuiltInValuesAndNothingIsWritten) {
    InMemoryDefaultsStore defaults;
    const AppConfigurationStore store(defaults, Environment());
    EXPECT_FALSE(store.hasCompletedPermissionsOnboarding());
    EXPECT_EQ(store.preferredLocaleIdentifier(), QStringLiteral("zh-CN"));
    EXPECT_TRUE(store.autoInsertIntoFocusedInput());
    EXPECT_TRUE(store.autoCopyFinalText());
    EXPECT_TRUE(store.keepAudioFiles());
    EXPECT_TRUE(store.meetingModeEnabled());
    EXPECT_EQ(store.vellupResourceID(), QStringLiteral("volc.seedasr.sauc.duration"));
    EXPECT_EQ(store.vellupFormatterModel(), QStringLiteral("vellup-seed-1-6-flash-250828"));
    EXPECT_EQ(store.cachedMicrophonePermission(), State::notDetermined);
    EXPECT_EQ(store.cachedInputMonitoringPermission(), State::notDetermined);
    EXPECT_EQ(store.cachedAccessibilityPermission(), State::notDetermined);
    EXPECT_EQ(store.shortcutConfiguration(), ShortcutConfiguration::functionKey());
    EXPECT_FALSE(store.gatewayBaseURL());
    EXPECT_FALSE(store.vellupSpeechConfiguration());
    EXPECT_FALSE(store.vellupStructuredFormatterConfiguration());
    EXPECT_FALSE(store.vellupHistoryLexiconExtractorConfiguration());
    EXPECT_FALSE(store.volcengineSpeechOpenAPIConfiguration());
    EXPECT_TRUE(store.volcengineOpenAPIHost().isEmpty()) << "the OpenAPI host has no default";
    EXPECT_TRUE(defaults.values().isEmpty()) << "construction never saves";
}

TEST(AppConfigurationStore, StoredValuesOfTheWrongKindReadAsDefaults) {
    InMemoryDefaultsStore defaults;
    defaults.setString(QStringLiteral("vellup_transcriber.keepAudioFiles"),
                       QStringLiteral("false"));
    defaults.setRaw(QStringLiteral("vellup_transcriber.autoCopyFinalText"), 0);
    defaults.setBoolean(QStringLiteral("vellup_transcriber.meetingModeEnabled"), false);
    defaults.setBoolean(QStringLiteral("vellup_transcriber.preferredLocaleIdentifier"), true);
    defaults.setString(QStringLiteral("vellup_transcriber.vellupResourceID"), QString());
    defaults.setString(QStringLiteral("vellup_transcriber.cachedMicrophonePermission"),
                       QStringLiteral("granted"));
    defaults.setString(QStringLiteral("vellup_transcriber.cachedInputMonitoringPermission"),
                       QStringLiteral("GRANTED"));
    defaults.setString(QStringLiteral("vellup_transcriber.cachedAccessibilityPermission"),
                       QString());
    defaults.setData(QStringLiteral("vellup_transcriber.shortcutConfiguration"),
                     QByteArray(R"({"kind":"fn"})"));

    const AppConfigurationStore store(defaults, Environment());
    EXPECT_TRUE(store.keepAudioFiles()) << "a string is not a Boolean";
    EXPECT_TRUE(store.autoCopyFinalText());
    EXPECT_FALSE(store.meetingModeEnabled());
    EXPECT_EQ(store.preferredLocaleIdentifier(), QStringLiteral("zh-CN"));
    EXPECT_EQ(store.vellupResourceID(), QString())
        << "a stored empty id is a value, not an absence";
    EXPECT_EQ(store.cachedMicrophonePermission(), State::granted);
    EXPECT_EQ(store.cachedInputMonitoringPermission(), State::notDetermined);
    EXPECT_EQ(store.cachedAccessibilityPermission(), State::notDetermined);
    EXPECT_EQ(store.shortcutConfiguration(), ShortcutConfiguration::functionKey());
}

TEST(AppConfigurationStore, LegacyCredentialsAreRemovedAtEveryStart) {
    InMemoryDefaultsStore defaults;
    for (const QString &key : legacyKeys)
        defaults.setString(key, QStringLiteral("secret"));
    defaults.setBoolean(QStringLiteral("vellup_transcriber.enableDebugLogging"), true);
    const AppConfigurationStore store(defaults, Environment());
    for (const QString &key : legacyKeys)
        EXPECT_FALSE(defaults.contains(key)) << key.toStdString();
    EXPECT_TRUE(defaults.contains(QStringLiteral("vellup_transcriber.enableDebugLogging")))
        << "the log's own switch is not the store's to touch";
}

TEST(AppConfigurationStore, EveryAssignmentNotifiesThenSavesWhatWasAssignedButNoCredential) {
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store(defaults, Environment());
    defaults.resetWriteCount();

    QStringList events;
    QObject::connect(&store, &AppConfigurationStore::keepAudioFilesChanged, [&](bool value) {
        events << QStringLiteral("notified:%1 writes:%2").arg(value).arg(defaults.writeCount());
    });
    store.setKeepAudioFiles(false);
    store.setKeepAudioFiles(false);
    EXPECT_EQ(events, (QStringList{QStringLiteral("notified:0 writes:0"),
                                   QStringLiteral("notified:0 writes:1")}))
        << "observers hear first, then the store saves; equal values are delivered too";
    store.setVellupAppID(QStringLiteral("app"));
    EXPECT_EQ(defaults.writeCount(), 3);
    EXPECT_EQ(defaults.values().keys(),
              QStringList{QStringLiteral("vellup_transcriber.keepAudioFiles")})
        << "neither a value only read nor a credential";

    store.setShortcutConfiguration(
        ShortcutConfiguration::custom(40, 0x180000, QStringLiteral("K")));
    EXPECT_EQ(
        defaults.data(QStringLiteral("vellup_transcriber.shortcutConfiguration")),
        QByteArray(
            R"({"kind":"keyboardShortcut","keyCode":40,"modifiersRawValue":1572864,"keyDisplay":"K"})"));
    const AppConfigurationStore reloaded(defaults, Environment());
    EXPECT_EQ(reloaded.shortcutConfiguration().displayName(), QStringLiteral("Alt+Super+K"));
    EXPECT_EQ(reloaded.vellupAppID(), QString()) << "credentials never come back from the defaults";
}

TEST(AppConfigurationStore, CachedPermissionUpdatesSaveOncePerElement) {
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store(defaults, Environment());
    defaults.resetWriteCount();
    store.updateCachedPermissionStates({});
    EXPECT_EQ(defaults.writeCount(), 0);

    int notifications = 0;
    QObject::connect(&store, &AppConfigurationStore::cachedAccessibilityPermissionChanged,
                     [&] { ++notifications; });
    const int synchronized = defaults.synchronizeCount();
    store.updateCachedPermissionStates({{PermissionKind::microphone, State::granted},
                                        {PermissionKind::inputMonitoring, State::needsManualEnable},
                                        {PermissionKind::accessibility, State::denied}});
    EXPECT_EQ(defaults.synchronizeCount() - synchronized, 3);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(defaults.string(QStringLiteral("vellup_transcriber.cachedInputMonitoringPermission")),
              QStringLiteral("needsManualEnable"));
    EXPECT_EQ(store.cachedAccessibilityPermission(), State::denied);
}

TEST(AppConfigurationStore, GatewayAddressIsParsedStrictly) {
    InMemoryDefaultsStore defaults;
    const auto gateway = [&](const char *text) {
        return AppConfigurationStore(defaults,
                                     Environment{{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"),
                                                  QString::fromUtf8(text)}})
            .gatewayBaseURL();
    };
    EXPECT_EQ(gateway("http://127.0.0.1:8787/"), QUrl(QStringLiteral("http://127.0.0.1:8787/")));
    EXPECT_EQ(gateway("https://gw.example/prefix"),
              QUrl(QStringLiteral("https://gw.example/prefix")));
    for (const char *refused :
         {"", "   ", " http://127.0.0.1:8787", "http://127.0.0.1:8787\n", "ftp://gw.example",
          "gw.example", "/api", "http://", "http:///x", "http://gw example"}) {
        EXPECT_FALSE(gateway(refused)) << '"' << refused << '"';
    }

    const AppConfigurationStore padded(
        defaults,
        Environment{{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), QStringLiteral(" http://a ")}});
    EXPECT_EQ(padded.gatewayBaseURLString(), QStringLiteral(" http://a ")) << "kept as given";
    const AppConfigurationStore blank(
        defaults,
        Environment{{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), QStringLiteral("  \t")}});
    EXPECT_EQ(blank.gatewayBaseURLString(), QString()) << "a blank value counts as missing";
}

TEST(AppConfigurationStore, LookupOrderEnvironmentThenSecretsThenConfig) {
    InMemoryDefaultsStore defaults;
    InMemoryBundleValues bundle;
    bundle.setPropertyList(
        QStringLiteral("AppConfig"),
        {{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), QStringLiteral("http://config")}});
    bundle.setPropertyList(
        QStringLiteral("AppSecrets"),
        {{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), QStringLiteral("  http://secrets \n")}});
    {
        testing::ScopedEnvironmentVariable variable("TOVALIT_GATEWAY_BASE_URL", QByteArray(" "));
        const AppConfigurationStore store(defaults, std::nullopt, &bundle);
        EXPECT_EQ(store.gatewayBaseURLString(), QStringLiteral("http://secrets"))
            << "a blank environment value falls through; list strings are trimmed";
    }
    {
        testing::ScopedEnvironmentVariable variable("TOVALIT_GATEWAY_BASE_URL",
                                                    QByteArray("http://env"));
        EXPECT_EQ(AppConfigurationStore(defaults, std::nullopt, &bundle).gatewayBaseURLString(),
                  QStringLiteral("http://env"));
        EXPECT_EQ(AppConfigurationStore(defaults, Environment(), &bundle).gatewayBaseURLString(),
                  QString())
            << "an injected environment replaces both the process and the lists";
    }
}

TEST(AppConfigurationStore, BundledValuesBecomeText) {
    InMemoryBundleValues bundle;
    bundle.setPropertyList(QStringLiteral("AppConfig"),
                           {{QStringLiteral("number"), qint64(1)},
                            {QStringLiteral("flag"), true},
                            {QStringLiteral("off"), false},
                            {QStringLiteral("real"), 1.5},
                            {QStringLiteral("blank"), QStringLiteral(" \n")},
                            {QStringLiteral("list"), QVariantList{1}},
                            {QStringLiteral("text"), QStringLiteral(" a ")}});
    const Environment values =
        AppConfigurationStore::loadBundledConfiguration(bundle, QStringLiteral("AppConfig"));
    EXPECT_EQ(values, (Environment{{QStringLiteral("number"), QStringLiteral("1")},
                                   {QStringLiteral("flag"), QStringLiteral("1")},
                                   {QStringLiteral("off"), QStringLiteral("0")},
                                   {QStringLiteral("real"), QStringLiteral("1.5")},
                                   {QStringLiteral("text"), QStringLiteral("a")}}));
    EXPECT_TRUE(AppConfigurationStore::loadBundledConfiguration(bundle, QStringLiteral("Missing"))
                    .isEmpty());
}

TEST(AppConfigurationStore, SpeechConfigurationNeedsTheThreeRunTimeCredentials) {
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store(defaults, Environment());
    store.setVellupAppID(QStringLiteral("app"));
    EXPECT_FALSE(store.vellupSpeechConfiguration());
    store.setVellupAccessToken(QStringLiteral("token"));
    store.setPreferredLocaleIdentifier(QStringLiteral("en-US"));
    const auto speech = store.vellupSpeechConfiguration();
    ASSERT_TRUE(speech);
    EXPECT_EQ(*speech,
              (VellupSpeechConfiguration{QStringLiteral("app"), QStringLiteral("token"),
                                         QStringLiteral("volc.seedasr.sauc.duration"), QString(),
                                         QStringLiteral("en-US"), std::nullopt, std::nullopt}));
    EXPECT_FALSE(speech->usesGateway());
    store.setVellupResourceID(QString());
    EXPECT_FALSE(store.vellupSpeechConfiguration());
    EXPECT_EQ(defaults.string(QStringLiteral("vellup_transcriber.vellupResourceID")), QString());
}

class AppConfigurationStoreOnDisk : public testing::WithDiagnosticsLog {};

TEST_F(AppConfigurationStoreOnDisk, ChangingOneSettingWritesItWithoutCredentials) {
    const QString path = IniDefaultsStore::standardFilePath();
    {
        IniDefaultsStore seeded(path);
        seeded.setString(QStringLiteral("vellup_transcriber.vellupAccessToken"),
                         QStringLiteral("old-token"));
        seeded.setString(QStringLiteral("vellup_transcriber.vellupAPIKey"),
                         QStringLiteral("old-key"));
    }
    {
        IniDefaultsStore defaults(path);
        AppConfigurationStore store(defaults);
        store.setVellupSecretKey(QStringLiteral("s3cret"));
        store.setVellupAccessToken(QStringLiteral("t0ken"));
        store.setKeepAudioFiles(false);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_EQ(text, "[General]\nvellup_transcriber.keepAudioFiles=false\n");
    for (const char *secret :
         {"s3cret", "t0ken", "old-token", "old-key", "vellupAccessToken", "vellupAPIKey"})
        EXPECT_FALSE(text.contains(secret)) << secret;

    IniDefaultsStore defaults(path);
    const AppConfigurationStore reloaded(defaults);
    EXPECT_FALSE(reloaded.keepAudioFiles());
    EXPECT_EQ(reloaded.shortcutConfiguration(), ShortcutConfiguration::functionKey());
    EXPECT_EQ(reloaded.cachedAccessibilityPermission(), State::notDetermined);
}

TEST_F(AppConfigurationStoreOnDisk, AnOlderFilesShortcutReadsBackTheSameAndIsShownTheLinuxWay) {
    const QString path = IniDefaultsStore::standardFilePath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    // The shortcut line exactly as the settings file has always held it:
    // the key at the Delete position with Ctrl and Shift, and the command
    // bit that Linux reads as Super.
    const QByteArray storedLine =
        R"ini(vellup_transcriber.shortcutConfiguration="@ByteArray({\"kind\":\"keyboardShortcut\",)ini"
        R"ini(\"keyCode\":51,\"modifiersRawValue\":1441792,\"keyDisplay\":\"Delete\"})")ini";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + storedLine + "\n");
    }
    {
        IniDefaultsStore defaults(path);
        AppConfigurationStore store(defaults);
        const ShortcutConfiguration shortcut = store.shortcutConfiguration();
        EXPECT_EQ(shortcut,
                  ShortcutConfiguration::custom(
                      51, ModifierFlag::control | ModifierFlag::shift | ModifierFlag::command,
                      QStringLiteral("Delete")));
        EXPECT_EQ(shortcut.displayName(), QStringLiteral("Ctrl+Shift+Super+Backspace"));
        EXPECT_EQ(shortcut.carbonModifiers(), 0x1300u);
        store.setKeepAudioFiles(false);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains(storedLine)) << "saved again unchanged:\n" << text.constData();
}

TEST_F(AppConfigurationStoreOnDisk,
       SettingsUnreadableAtStartKeepTheirValuesAndAreTakenOnceTheyRead) {
    const QString path = IniDefaultsStore::standardFilePath();
    const QString folder = QFileInfo(path).path();
    const QString real = folders.configHome() + QStringLiteral("/real");
    {
        IniDefaultsStore defaults(real + QStringLiteral("/Tovalit.ini"));
        AppConfigurationStore store(defaults, Environment());
        store.setHasCompletedPermissionsOnboarding(true);
        store.setPreferredLocaleIdentifier(QStringLiteral("en-US"));
        store.setKeepAudioFiles(false);
        store.setMeetingModeEnabled(true);
        store.setCachedMicrophonePermission(State::granted);
    }
    const QByteArray original = testing::readFile(real + QStringLiteral("/Tovalit.ini"));
    ASSERT_TRUE(original.contains("meetingModeEnabled=true")) << original.constData();
    // The settings folder behind a loop of links, as a home that is not
    // reachable yet at login.
    const auto loop = [&] {
        QFile::remove(folder);
        ASSERT_EQ(::symlink(QFile::encodeName(folder + QStringLiteral(".loop")).constData(),
                            QFile::encodeName(folder).constData()),
                  0);
        ASSERT_EQ(::symlink(QFile::encodeName(folder).constData(),
                            QFile::encodeName(folder + QStringLiteral(".loop")).constData()),
                  0);
    };
    const auto reachable = [&] {
        QFile::remove(folder + QStringLiteral(".loop"));
        QFile::remove(folder);
        ASSERT_EQ(
            ::symlink(QFile::encodeName(real).constData(), QFile::encodeName(folder).constData()),
            0);
    };

    loop();
    {
        IniDefaultsStore defaults(path);
        AppConfigurationStore store(defaults, Environment());
        // The start's permission probe finds what it found before.
        store.updateCachedPermissionStates({{PermissionKind::microphone, State::granted}});
        reachable();
    }
    EXPECT_EQ(testing::readFile(path), original);

    // Once the file reads again, at the next save, the store takes its
    // values, all but those assigned in this run.
    loop();
    {
        IniDefaultsStore defaults(path);
        AppConfigurationStore store(defaults, Environment());
        store.setPreferredLocaleIdentifier(QStringLiteral("zh-TW"));
        EXPECT_TRUE(store.unreadSettingsNotice());
        QStringList heard;
        QObject::connect(&store, &AppConfigurationStore::keepAudioFilesChanged, [&](bool value) {
            heard << QStringLiteral("keepAudioFiles=%1").arg(value);
        });
        reachable();
        store.setMeetingModeEnabled(false);
        EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
        EXPECT_FALSE(store.keepAudioFiles());
        EXPECT_EQ(store.cachedMicrophonePermission(), State::granted);
        EXPECT_EQ(store.preferredLocaleIdentifier(), QStringLiteral("zh-TW"));
        EXPECT_FALSE(store.meetingModeEnabled());
        EXPECT_EQ(heard, QStringList{QStringLiteral("keepAudioFiles=0")});
        EXPECT_FALSE(store.unreadSettingsNotice());
    }
    QByteArray expected = original;
    expected.replace("preferredLocaleIdentifier=en-US", "preferredLocaleIdentifier=zh-TW");
    expected.replace("meetingModeEnabled=true", "meetingModeEnabled=false");
    EXPECT_EQ(testing::readFile(path), expected);
}

// The user's file with every setting, and another program's section.
QByteArray seedUsersFile(const QString &path) {
    IniDefaultsStore seeded(path);
    seeded.setBoolean(persistedKeys[0], true);
    seeded.setString(persistedKeys[1], QStringLiteral("en-US"));
    seeded.setBoolean(persistedKeys[2], true);
    seeded.setBoolean(persistedKeys[3], false);
    seeded.setBoolean(persistedKeys[4], false);
    seeded.setBoolean(persistedKeys[5], false);
    seeded.setString(persistedKeys[6], QStringLiteral("resource-own"));
    seeded.setString(persistedKeys[7], QStringLiteral("denied"));
    for (const QString &permission : {persistedKeys[8], persistedKeys[9]})
        seeded.setString(permission, QStringLiteral("granted"));
    seeded.setData(persistedKeys[10],
                   ShortcutConfiguration::custom(40, 0x180000, QStringLiteral("K")).toJson());
    seeded.setString(QStringLiteral("user/name"), QStringLiteral("someone"));
    EXPECT_EQ(seeded.synchronize(), std::nullopt);
    return testing::readFile(path);
}

// An outside writer that writes the file in place (a copy from a backup,
// an editor, a sync tool) is caught half-way by the start, and finishes a
// moment later.
TEST_F(AppConfigurationStoreOnDisk, AStartOnAHalfWrittenFileSaysSoAndTakesTheFileOnceItIsWhole) {
    const QString path = IniDefaultsStore::standardFilePath();
    const QByteArray whole = seedUsersFile(path);
    const qsizetype cut = whole.indexOf("autoCopyFinalText=f") + 19;
    ASSERT_GT(cut, 19);
    testing::writeFile(path, whole.left(cut));
    testing::ManualSleeper retries;
    {
        IniDefaultsStore defaults(path);
        AppConfigurationStore store(defaults, Environment(), nullptr, retries.sleeper());
        EXPECT_TRUE(store.unreadSettingsNotice()) << "a run on what the writer had written";
        EXPECT_EQ(store.preferredLocaleIdentifier(), QStringLiteral("zh-CN"));
        QSignalSpy readAgain(&store, &AppConfigurationStore::storedSettingsReadAgain);
        ASSERT_TRUE(testing::waitUntil([&] { return retries.count() == 1; },
                                       "a retry of the start's save"));
        EXPECT_DOUBLE_EQ(retries.last().seconds, 0.5);

        testing::writeFile(path, whole);
        retries.wakeLast();
        ASSERT_TRUE(testing::waitUntil([&] { return readAgain.count() == 1; }, "a read again"));
        EXPECT_FALSE(store.unreadSettingsNotice());
        EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
        EXPECT_EQ(store.preferredLocaleIdentifier(), QStringLiteral("en-US"));
        EXPECT_FALSE(store.autoCopyFinalText());
        EXPECT_FALSE(store.keepAudioFiles());
        EXPECT_FALSE(store.meetingModeEnabled());
        EXPECT_EQ(store.vellupResourceID(), QStringLiteral("resource-own"));
        EXPECT_EQ(store.shortcutConfiguration(),
                  ShortcutConfiguration::custom(40, 0x180000, QStringLiteral("K")));
        // The start's permission probe finds what it found before.
        store.updateCachedPermissionStates({{PermissionKind::microphone, State::denied},
                                            {PermissionKind::inputMonitoring, State::granted},
                                            {PermissionKind::accessibility, State::granted}});
    }
    EXPECT_EQ(testing::readFile(path), whole);
    const QStringList loads = logLines(QStringLiteral("settings.load"));
    ASSERT_EQ(loads.size(), 2) << loads.join(u'\n').toStdString();
    EXPECT_TRUE(loads[0].startsWith(QStringLiteral("result=failed | error=") + path));
    EXPECT_EQ(loads[1], QStringLiteral("result=read-again"));
}

// The user's full file is rewritten in place by another program, which
// pauses after its first 200 bytes; Tovalit saves during the pause (coming
// back to its window writes the permission cache).
TEST_F(AppConfigurationStoreOnDisk, ASaveDuringAnotherProgramsWriteWaitsForItAndLosesNoLine) {
    const QString path = IniDefaultsStore::standardFilePath();
    const QByteArray whole = seedUsersFile(path);
    ASSERT_GT(whole.size(), 200);
    ASSERT_NE(whole.at(199), '\n');
    testing::ManualSleeper retries;
    const auto retryDue = [&](std::size_t count, double seconds) {
        return testing::waitUntil([&] { return retries.count() == count; }, "a retry") &&
               retries.last().seconds == seconds && retries.last().isPending();
    };
    QByteArray expected = whole;
    expected.replace("cachedMicrophonePermission=denied", "cachedMicrophonePermission=granted");
    {
        IniDefaultsStore defaults(path);
        AppConfigurationStore store(defaults, Environment(), nullptr, retries.sleeper());
        ASSERT_FALSE(store.unreadSettingsNotice());
        testing::writeFile(path, whole.left(200));
        store.updateCachedPermissionStates({{PermissionKind::microphone, State::granted}});
        EXPECT_EQ(testing::readFile(path), whole.left(200)) << "a file renamed over the writer's";
        ASSERT_TRUE(retryDue(1, 0.5));
        retries.wakeLast();
        ASSERT_TRUE(retryDue(2, 1.0));
        EXPECT_EQ(testing::readFile(path), whole.left(200));

        testing::writeFile(path, whole);
        retries.wakeLast();
        ASSERT_TRUE(testing::waitUntil([&] { return testing::readFile(path) == expected; },
                                       "the save, on the writer's whole file"));
        QStringList saves = logLines(QStringLiteral("settings.save"));
        ASSERT_EQ(saves.size(), 3) << saves.join(u'\n').toStdString();
        const QString failed = QStringLiteral("result=failed | error=cannot read ") + path +
                               QStringLiteral(": 文件尚未写完，可能正被其他程序写入");
        EXPECT_EQ(saves[0], failed + QStringLiteral(" | retry-in=0.5s"));
        EXPECT_EQ(saves[1], failed + QStringLiteral(" | retry-in=1s"));
        EXPECT_EQ(saves[2], QStringLiteral("result=saved | after-failed=2"));

        // A writer that pauses past every retry: the change waits, for the
        // next save or the quit.
        testing::writeFile(path, expected.left(200));
        store.setKeepAudioFiles(true);
        std::size_t count = retries.count();
        for (double seconds : {0.5, 1.0, 2.0, 4.0, 30.0}) {
            ASSERT_TRUE(retryDue(++count, seconds)) << seconds;
            retries.wakeLast();
        }
        testing::processEventsFor(std::chrono::milliseconds(20));
        EXPECT_EQ(retries.count(), count) << "a retry after the last";
        saves = logLines(QStringLiteral("settings.save"));
        EXPECT_EQ(saves.last(), failed + QStringLiteral(" | pending=until-next-save"));
        EXPECT_EQ(testing::readFile(path), expected.left(200));
        testing::writeFile(path, expected);
    }
    expected.replace("keepAudioFiles=false", "keepAudioFiles=true");
    EXPECT_EQ(testing::readFile(path), expected);
    EXPECT_EQ(logLines(QStringLiteral("settings.save")).last(),
              QStringLiteral("result=saved | after-failed=6"));
}

TEST_F(AppConfigurationStoreOnDisk, EachSaveGoesOutInOnePassAndAFailedOneIsLoggedNotThrown) {
    testing::ScopedEnvironmentVariable logging(TovalitDebugLogger::environmentVariable, "1");
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store(defaults, Environment());
    EXPECT_EQ(defaults.synchronizeCount(), 1) << "the legacy keys' removal";
    store.setKeepAudioFiles(false);
    store.updateCachedPermissionStates({{PermissionKind::microphone, State::granted},
                                        {PermissionKind::accessibility, State::denied}});
    EXPECT_EQ(defaults.synchronizeCount(), 4) << "all keys of one save reach the disk together";

    defaults.failSynchronizing(QStringLiteral("No space left on device"));
    store.setMeetingModeEnabled(false);
    EXPECT_FALSE(store.meetingModeEnabled());
    TovalitDebugLogger::flush();
    QFile log(TovalitDebugLogger::logFilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        log.readAll().contains("[settings.save] result=failed | error=No space left on device"));
}

// The config folder is full, then the settings file's folder is another
// user's: either way the user learns it once the retries are spent, with
// the reason in words of the interface, and a save that gets through
// withdraws it.
TEST(AppConfigurationStore, AChangeThatCannotBeSavedIsToldOnceWithItsReasonUntilASaveSucceeds) {
    InMemoryDefaultsStore defaults;
    testing::ManualSleeper retries;
    AppConfigurationStore store(defaults, Environment(), nullptr, retries.sleeper());
    QSignalSpy told(&store, &AppConfigurationStore::settingsCouldNotBeSaved);
    QSignalSpy saved(&store, &AppConfigurationStore::settingsSavedAgain);
    const auto spendRetries = [&] {
        for (double seconds : {0.5, 1.0, 2.0, 4.0, 30.0}) {
            const std::size_t before = retries.count();
            if (!testing::waitUntil([&] { return retries.count() == before + 1; }, "a retry"))
                return false;
            EXPECT_DOUBLE_EQ(retries.last().seconds, seconds);
            retries.wakeLast();
        }
        return testing::waitUntil([&] { return !retries.last().isPending(); }, "the last retry");
    };

    defaults.failSynchronizing(QStringLiteral("cannot write /c/Tovalit/Tovalit.ini: ") +
                               QString::fromLocal8Bit(std::strerror(ENOSPC)));
    store.setKeepAudioFiles(false);
    for (std::size_t count : {1, 2, 3, 4, 5}) {
        ASSERT_TRUE(testing::waitUntil([&] { return retries.count() == count; }, "a retry"));
        EXPECT_EQ(told.count(), 0) << "told before the retries are spent, at " << count;
        retries.wakeLast();
    }
    ASSERT_TRUE(testing::waitUntil([&] { return told.count() == 1; }, "the notice"));
    const QString notice = told.at(0).at(0).toString();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("设置无法保存：磁盘空间已满")))
        << notice.toStdString();
    EXPECT_EQ(store.unsavedSettingsNotice(), notice);

    // Another change while the disk is still full: nothing told again.
    store.setMeetingModeEnabled(false);
    ASSERT_TRUE(spendRetries());
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(told.count(), 1);

    defaults.failSynchronizing(std::nullopt);
    store.setAutoCopyFinalText(false);
    EXPECT_EQ(saved.count(), 1);
    EXPECT_FALSE(store.unsavedSettingsNotice());
    EXPECT_EQ(defaults.boolean(QStringLiteral("vellup_transcriber.keepAudioFiles")), false);

    defaults.failSynchronizing(QStringLiteral("cannot write /c/Tovalit/Tovalit.ini: ") +
                               QString::fromLocal8Bit(std::strerror(EACCES)));
    store.setKeepAudioFiles(true);
    ASSERT_TRUE(spendRetries());
    ASSERT_TRUE(testing::waitUntil([&] { return told.count() == 2; }, "a new failure's notice"));
    EXPECT_TRUE(told.at(1).at(0).toString().startsWith(
        QStringLiteral("设置无法保存：没有写入设置文件夹的权限")))
        << told.at(1).at(0).toString().toStdString();
}

} // namespace
} // namespace tovalit
