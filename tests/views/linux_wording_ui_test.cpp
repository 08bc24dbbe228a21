// Tovalit runs on Linux desktops: nothing a user reads may name another
// desktop's settings, keys or menus. Two readings keep it so: every text
// written in the sources, and every text the pages show once built, with
// shortcuts composed from stored values.

#include "state/app_launch_coordinator.h"
#include "tests/views/window_pages_fixture.h"
#include "views/client_window_view.h"
#include "views/design/tovalit_badge.h"
#include "views/permissions/permissions_onboarding_view.h"
#include "views/settings/shortcut_settings_view.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

struct Forbidden {
    QRegularExpression pattern;
    const char *why;
};

const QList<Forbidden> &forbidden() {
    static const QList<Forbidden> list{
        {QRegularExpression(QStringLiteral("mac\\s?OS|OS X|\\bMac\\b"),
                            QRegularExpression::CaseInsensitiveOption),
         "names the other desktop"},
        {QRegularExpression(QStringLiteral("[⌘⌥⌃⇧]")), "a key symbol no PC keyboard has"},
        {QRegularExpression(QStringLiteral("\\^(?:[A-Za-z0-9←→↑↓]|Space|Return|Tab|Esc)")),
         "^ as the Control key"},
        {QRegularExpression(QStringLiteral("\\b(?:Command|Cmd|Option)\\s*(?:\\+|键)")),
         "a modifier no PC keyboard has"},
        {QRegularExpression(QStringLiteral("Globe|地球仪")), "a key no PC keyboard has"},
        {QRegularExpression(QStringLiteral("钥匙串")), "the other desktop's keychain"},
        {QRegularExpression(QStringLiteral("隐私与安全性|系统偏好设置")),
         "a settings page Linux has not"},
        {QRegularExpression(QStringLiteral("输入监控|辅助功能")),
         "a privacy category Linux has not"},
        {QRegularExpression(QStringLiteral("访达|Finder|程序坞|启动台|Launchpad|Spotlight")),
         "another desktop's application"},
        {QRegularExpression(QStringLiteral("DMG|/Volumes|“应用程序”")),
         "another desktop's installation"},
        {QRegularExpression(QStringLiteral("表情面板")), "a panel Linux has not"},
    };
    return list;
}

// Why `text` must not be shown, or nothing.
std::optional<QString> offence(const QString &text) {
    for (const Forbidden &rule : forbidden()) {
        const QRegularExpressionMatch match = rule.pattern.match(text);
        if (match.hasMatch())
            return QStringLiteral("“%1”: %2").arg(match.captured(), QString::fromUtf8(rule.why));
    }
    return std::nullopt;
}

// Texts for people are Chinese; a key symbol alone also counts. Wire
// constants, settings keys, log lines and command arguments are not.
bool isForPeople(const QString &literal) {
    static const QRegularExpression people(
        QStringLiteral("[\\x{3000}-\\x{303F}\\x{3400}-\\x{9FFF}\\x{FF00}-\\x{FFEF}⌘⌥⌃⇧]"));
    return people.match(literal).hasMatch();
}

struct Literal {
    int line;
    QString text;
};

// The string and character literals of C++ source, comments left out,
// adjacent string literals joined as the compiler joins them.
QList<Literal> literalsOf(const QString &source) {
    QList<Literal> literals;
    qsizetype lastEnd = -1;
    int line = 1;
    const qsizetype n = source.size();
    static const QRegularExpression joinable(QStringLiteral("^\\s*(?:u8|u|U|L)?R?$"));
    auto add = [&](qsizetype start, qsizetype end, QString text, bool isString) {
        if (isString && !literals.isEmpty() && lastEnd >= 0 &&
            joinable.match(source.mid(lastEnd, start - lastEnd)).hasMatch())
            literals.last().text += text;
        else
            literals.append({line, std::move(text)});
        lastEnd = isString ? end : -1;
    };
    // A quote inside a number separates its digits (1'000).
    auto separatesDigits = [&](qsizetype quote) {
        qsizetype start = quote;
        while (start > 0 && (source[start - 1].isLetterOrNumber() || source[start - 1] == u'_' ||
                             source[start - 1] == u'\''))
            --start;
        return start < quote && source[start].isDigit();
    };
    for (qsizetype i = 0; i < n;) {
        const QChar c = source[i];
        if (c == u'\n') {
            ++line;
            ++i;
        } else if (source.mid(i, 2) == u"//") {
            while (i < n && source[i] != u'\n')
                ++i;
        } else if (source.mid(i, 2) == u"/*") {
            const qsizetype close = source.indexOf(QStringLiteral("*/"), i + 2);
            const qsizetype stop = close < 0 ? n : close + 2;
            line += int(source.mid(i, stop - i).count(u'\n'));
            i = stop;
        } else if (c == u'R' && i + 1 < n && source[i + 1] == u'"' &&
                   (i == 0 || !source[i - 1].isLetterOrNumber() || source[i - 1] == u'u' ||
                    source[i - 1] == u'8' || source[i - 1] == u'L' || source[i - 1] == u'U')) {
            const qsizetype open = source.indexOf(u'(', i + 2);
            if (open < 0)
                break;
            const QString closing = u')' + source.mid(i + 2, open - i - 2) + u'"';
            const qsizetype close = source.indexOf(closing, open + 1);
            const qsizetype stop = close < 0 ? n : close + closing.size();
            add(i, stop, source.mid(open + 1, (close < 0 ? n : close) - open - 1), true);
            line += int(source.mid(i, stop - i).count(u'\n'));
            i = stop;
        } else if (c == u'"' || (c == u'\'' && !separatesDigits(i))) {
            QString text;
            qsizetype j = i + 1;
            for (; j < n && source[j] != c; ++j) {
                if (source[j] == u'\\' && j + 1 < n) {
                    ++j;
                    text += source[j] == u'n' ? QChar(u'\n') : source[j];
                } else {
                    text += source[j];
                }
            }
            add(i, j + 1, std::move(text), c == u'"');
            i = j + 1;
        } else {
            ++i;
        }
    }
    return literals;
}

TEST(LinuxWording, TheLiteralReaderFindsWhatTheCompilerSees) {
    const QList<Literal> found =
        literalsOf(QStringLiteral("// \"在注释里\" 不算\n"
                                  "const auto a = QStringLiteral(\"先\" \"后\");\n"
                                  "/* \"也不算\" */ char16_t c = u'⌘'; int big = 1'000'000;\n"
                                  "auto r = uR\"x(原样\"文本)\")x\";\n"
                                  "auto e = \"引号\\\"在内\";\n"));
    QStringList texts;
    QList<int> lines;
    for (const Literal &literal : found) {
        texts << literal.text;
        lines << literal.line;
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("先后"), QStringLiteral("⌘"),
                                  QStringLiteral("原样\"文本)\""), QStringLiteral("引号\"在内")}));
    EXPECT_EQ(lines, (QList<int>{2, 3, 4, 5}));
}

TEST(LinuxWording, NoTextInTheSourcesNamesAnotherDesktop) {
    const QString root = QStringLiteral(TOVALIT_SOURCE_DIR "/src/");
    QStringList offences;
    int textsRead = 0;
    QDirIterator files(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString relative = path.mid(root.size());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        for (const Literal &literal : literalsOf(QString::fromUtf8(file.readAll()))) {
            if (!isForPeople(literal.text))
                continue;
            ++textsRead;
            if (const auto why = offence(literal.text))
                offences
                    << QStringLiteral("src/%1:%2: %3").arg(relative).arg(literal.line).arg(*why);
        }
    }
    EXPECT_GT(textsRead, 500) << "the sources were read";
    EXPECT_TRUE(offences.isEmpty()) << offences.join(u'\n').toStdString();
}

class LinuxWordingPages : public WindowPagesTest {
protected:
    // Every text the widget and its children show: labels, buttons,
    // badges and tooltips, hidden ones included.
    static QStringList shownTexts(const QWidget &root) {
        QStringList texts;
        QList<const QWidget *> widgets{&root};
        for (const QWidget *child : root.findChildren<QWidget *>())
            widgets << child;
        for (const QWidget *widget : std::as_const(widgets)) {
            if (auto *label = qobject_cast<const QLabel *>(widget))
                texts << label->text();
            if (auto *button = qobject_cast<const QAbstractButton *>(widget))
                texts << button->text();
            if (auto *badge = qobject_cast<const TovalitBadge *>(widget))
                texts << badge->title();
            texts << widget->toolTip();
        }
        texts.removeAll(QString());
        return texts;
    }
    void expectLinuxOnly(QWidget &page, const char *name) {
        const QStringList texts = shownTexts(page);
        EXPECT_FALSE(texts.isEmpty()) << name;
        for (const QString &text : texts) {
            if (const auto why = offence(text))
                ADD_FAILURE() << name << ": " << text.toStdString() << "\n" << why->toStdString();
        }
        // Optional: pictures of the pages to read by eye.
        const QString shots = qEnvironmentVariable("TOVALIT_PAGE_SHOTS");
        if (shots.isEmpty())
            return;
        page.grab().save(shots + u'/' + QLatin1String(name) + QStringLiteral(".png"));
        // The settings page is taller than the screen; its shortcut card
        // on its own.
        if (auto *card = page.findChild<ShortcutSettingsView *>())
            card->grab().save(shots + u'/' + QLatin1String(name) +
                              QStringLiteral("-shortcut-card.png"));
    }
};

TEST_F(LinuxWordingPages, EveryPageShowsLinuxWordsAndKeys) {
    // Nothing set up yet, as on a first start.
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::unavailable);
    doubles.probe->setListenEventAccess(false);
    doubles.probe->setTrusted(false);
    makeObjects();
    {
        AppLaunchCoordinator launch(*store, *permissions);
        PermissionsOnboardingView onboarding(*permissions, launch, *store);
        onboarding.resize(1000, 1500);
        onboarding.show();
        processEventsFor(std::chrono::milliseconds(20));
        expectLinuxOnly(onboarding, "onboarding");
    }

    // A combination stored as the settings file has always held it: every
    // modifier, and the key at the Delete position.
    doubles.defaults->setData(
        QStringLiteral("vellup_transcriber.shortcutConfiguration"),
        R"({"kind":"keyboardShortcut","keyCode":51,"modifiersRawValue":1966080,"keyDisplay":"Delete"})");
    makeObjects();
    const QString combination = QStringLiteral("Ctrl+Alt+Shift+Super+Backspace");
    ClientWindowView window(*viewModel, *store, *permissions, doubles.clientWindowDependencies());
    window.resize(1000, 1500);
    window.show();
    const std::pair<ClientWindowSection, const char *> sections[] = {
        {ClientWindowSection::home, "home"},
        {ClientWindowSection::instructions, "instructions"},
        {ClientWindowSection::lexicon, "lexicon"},
        {ClientWindowSection::history, "history"},
        {ClientWindowSection::settings, "settings"},
    };
    for (const auto &[section, name] : sections) {
        window.setSelection(section);
        processEventsFor(std::chrono::milliseconds(20));
        expectLinuxOnly(window, name);
        const QStringList texts = shownTexts(window);
        if (section == ClientWindowSection::home) {
            EXPECT_TRUE(texts.contains(combination)) << texts.join(u'\n').toStdString();
            EXPECT_TRUE(texts.contains(QStringLiteral("按 ") + combination +
                                       QStringLiteral(" 开始或停止录音")));
        }
        if (section == ClientWindowSection::settings) {
            EXPECT_TRUE(texts.contains(combination)) << texts.join(u'\n').toStdString();
        }
    }

    // And Fn, the default, with its caption.
    store->setShortcutConfiguration(ShortcutConfiguration::functionKey());
    processEventsFor(std::chrono::milliseconds(20));
    expectLinuxOnly(window, "settings-fn");
    window.setSelection(ClientWindowSection::home);
    processEventsFor(std::chrono::milliseconds(20));
    expectLinuxOnly(window, "home-fn");
}

// The home and settings pages as a desktop's shortcut leaves them, with
// Ctrl+Alt+K stored.
class LinuxShortcutPages : public LinuxWordingPages {
protected:
    ClientWindowView &makeWindow(bool isWaylandSession) {
        doubles.shouldBootstrap = true;
        doubles.isWaylandSession = isWaylandSession;
        doubles.defaults->setData(
            QStringLiteral("vellup_transcriber.shortcutConfiguration"),
            R"({"kind":"keyboardShortcut","keyCode":40,"modifiersRawValue":786432,"keyDisplay":"K"})");
        makeObjects();
        window = std::make_unique<ClientWindowView>(*viewModel, *store, *permissions,
                                                    doubles.clientWindowDependencies());
        window->resize(1000, 1500);
        window->show();
        processEventsFor(std::chrono::milliseconds(20));
        return *window;
    }
    void expectPagesLinuxOnly(const std::string &suffix) {
        for (const auto &[section, name] : {std::pair{ClientWindowSection::home, "home"},
                                            std::pair{ClientWindowSection::settings, "settings"}}) {
            window->setSelection(section);
            processEventsFor(std::chrono::milliseconds(20));
            expectLinuxOnly(*window, (name + suffix).c_str());
        }
    }
    ~LinuxShortcutPages() override { window.reset(); }

    std::unique_ptr<ClientWindowView> window;
};

TEST_F(LinuxShortcutPages, OnX11TheXServerGrabsTheCombination) {
    makeWindow(false);
    ASSERT_EQ(viewModel->shortcutRoute(), ShortcutRoute::of(ShortcutRoute::Way::keyGrab));
    expectPagesLinuxOnly("-x11");
}

TEST_F(LinuxShortcutPages, InAWaylandSessionTheDesktopsWayIsShown) {
    doubles.desktopShortcuts->bindTriggersAs(QStringLiteral("Ctrl+Alt+K"));
    makeWindow(true);
    ASSERT_EQ(viewModel->shortcutRoute(),
              ShortcutRoute::of(ShortcutRoute::Way::desktopPortal, QStringLiteral("Ctrl+Alt+K")));
    expectPagesLinuxOnly("-wayland-portal");

    // A desktop without the portal: the command to bind.
    doubles.desktopShortcuts->failSessions(
        DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::unavailable));
    store->setShortcutConfiguration(
        ShortcutConfiguration::custom(41, ModifierFlag::control, QStringLiteral("L")));
    processEventsFor(std::chrono::milliseconds(20));
    ASSERT_EQ(viewModel->shortcutRoute().way, ShortcutRoute::Way::desktopAction);
    expectPagesLinuxOnly("-wayland-command");
}

} // namespace
} // namespace tovalit::testing
