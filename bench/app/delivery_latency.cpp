// How long a dictation takes from its stop to its text in the editor, with
// the same editor once as an X11 window (through XWayland) and once as a
// native Wayland window, taking turns in one session, for one or several
// builds of Tovalit one after the other. Each dictation is started and
// stopped by the desktop entry's recording action, the speech played into
// the session's microphone; the stop counts from the recording's closing
// frame reaching the recogniser, and the text is seen arriving through the
// accessibility bus. It also prints where the time went: the offset from
// the stop of each step the diagnostics log records; and, as each
// dictation ends, how the insertion ended and the role of the element the
// recording's capture read.
//
// Run it inside a Wayland session whose audio, accessibility bus and
// XWayland are up, for example KDE's:
//   scripts/build --target bench_delivery_latency
//   scripts/lib/headless-wayland-session build/bench/bench_delivery_latency --rounds 5
// Options: --app LABEL=PATH (repeatable; the build's own executable by
// default), --rounds N, --backends x11,wayland (the editor's windows taken
// in turn, both by default; x11 alone runs in an X11 session too), --logs
// FOLDER (keeps each build's diagnostics log there), --editor COMMAND... (the rest of the line; the
// GTK 3 editor of tests/tools by default); the editor runs with GDK_BACKEND set. --firefox
// dictates into a text area in Firefox instead, native on Wayland or through XWayland; --chromium
// into one in Chromium (an X11 window); --rich-text makes the browser's page a rich-text editor of
// three paragraphs and a list with the caret in the second paragraph;
// --paragraphs 10,10000 makes it instead an editor of that many paragraphs with the caret in the
// middle one, each size in turn on the same page and printed side by side, with the ratio of the
// largest to the smallest. In GNOME's session the user
// agrees to lend the desktop's keyboard at the first recording of each build, and the caret stops
// blinking for the run. Each dictation's line also says how the insertion ended and what the
// clipboard holds afterwards: the user copied something of their own before speaking (in KDE's
// Wayland session, to the session's own clipboard), and how long after the recording's start
// action the capture read the editor. With --copy-after-text the user copies something
// else the moment the text lands, which is then what the clipboard holds. --second-window (with
// --chromium) has the user leave a draft in the page, open the page again in a second window and
// write a draft there too: the dictation goes to that front window, and each dictation's line
// then also says what the capture read around the caret and what the back window holds after.
// --after LINE runs a shell line after each dictation, before the editor stops, to read the
// text back from the program itself (a terminal's shell history, vim's saved file) and prints
// its output; --unseen is for an editor that shows nothing on the accessibility bus (xterm):
// its focus is then the X server's active window, and only --after says where the text went.
// --hold MS stops the editor's process (SIGSTOP) for MS from the moment the dictation is on
// the clipboard, as a busy program takes the paste's keys late.
//
// Web documents: with --page FILE.html (repeatable) it dictates once into each page given, the
// first dictation into a freshly opened page, in Firefox and in Chromium (--firefox or --chromium
// for one alone), each started for that page alone as an X11 window with its accessibility on.
// Each page loads a watching script from beside it (oracle.js beside the first page, or --oracle
// FILE), which places the page's caret or selection, titles the page "ready", and after a change
// "ok=1 new=<text>" or "ok=0 length=<n>". --paragraphs N,M --select-all adds editors of that
// many paragraphs with all of them selected, --caret N an editor of N paragraphs with the caret
// in the middle one (to set a select-all beside a caret in one run), and --list N an editor of
// a paragraph, an N-item
// list and a paragraph, selected from inside the first paragraph into the last; these pages load
// a copy of the same script. The user speaks once the title reads "ready" and the editor shows a
// caret on the accessibility bus (no text of it is read: its first read is the application's).
// A line per page and browser (and build) says the time from the stop to the first change of
// the page, its title afterwards and whether that is exactly the dictated text in place of the
// caret or selection, how the insertion ended, whether the user's clipboard came back, whether
// the caret showed, and the role and text before, selected and after that the capture's log
// line records, a run of U+FFFC or U+FEFF marked with its count; and when the delivery and the
// insertion started, the paste's keys went out and the insertion ended, after the stop. --rounds N
// opens each page N times. --paste-only has the user, once each page is as ready as for a
// dictation, copy the same text and press Ctrl+V through XTest themselves, with no application
// running: its lines, labelled paste-only beside each build's, give the time from the keys to
// the page's change (set it against a build's time from insert.keys to the text), and say which
// fields need the application. Without --app it pastes alone; with it, after the builds:
//   scripts/lib/headless-session build/bench/bench_delivery_latency --page DIR/quoted-reply.html
//   scripts/lib/headless-session build/bench/bench_delivery_latency --oracle DIR/oracle.js
//       --paragraphs 3000,10000 --select-all --list 3000
//   scripts/lib/headless-session build/bench/bench_delivery_latency --oracle DIR/oracle.js
//       --paragraphs 10000 --select-all --app tovalit=build/src/tovalit --paste-only

#include "bench/app/dictation_driver.h"
#include "bench/app/editor_watch.h"
#include "bench/app/web_documents.h"
#include "tests/support/application_process.h"
#include "tests/support/chromium_page.h"
#include "tests/support/firefox_page.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <gio/gio.h>
#include <map>

namespace tovalit::bench {
namespace {

struct Options {
    std::vector<std::pair<QString, QString>> apps;
    // 5 rounds by default, and one with web documents.
    std::optional<int> rounds;
    QStringList editor;
    // Where each build's diagnostics log is kept, when given.
    QString logs;
    // The editor's windows, in turn.
    QStringList backends = {QStringLiteral("x11"), QStringLiteral("wayland")};
    // A text area in Firefox, or in Chromium, instead of the editor.
    bool firefox = false;
    bool chromium = false;
    // The browser shows a rich-text editor instead of a text area.
    bool richText = false;
    // Sizes of that editor, in turn; none: the page of three paragraphs.
    QList<int> paragraphs;
    // The user copies again the moment the text lands.
    bool copyAfterText = false;
    // The browser's page is open in two windows, each with a draft.
    bool secondWindow = false;
    // Web documents: pages of the caller's, editors of `paragraphs`
    // paragraphs all selected, and lists of these sizes selected across,
    // each page loading the watching script `oracle`.
    QStringList pages;
    bool selectAll = false;
    QList<int> lists;
    // Editors of these many paragraphs with the caret in the middle one.
    QList<int> carets;
    QString oracle;
    // Web documents: the user pastes the same text with their own keys
    // too, with no application running (after the builds, if any).
    bool pasteOnly = false;
    // The browsers web documents open in, in turn.
    QStringList browsers;
    // The editor shows nothing on the accessibility bus (xterm): its focus
    // is the X server's active window, and its text is read back by
    // `after`, once the insertion has said how it ended.
    bool unseen = false;
    // A shell line run after each dictation, before the editor stops: it
    // reads the text back from the program itself (its screen, the shell's
    // history, a saved file); what it prints follows the dictation's line.
    QString after;
    // The editor's process is held (SIGSTOP) for this long from the moment
    // the dictation is on the clipboard, as a busy program handles the
    // paste's keys late.
    int holdMilliseconds = 0;

    bool webDocuments() const {
        return !pages.isEmpty() || selectAll || !lists.isEmpty() || !carets.isEmpty();
    }
};

// A list of sizes: "10,10000".
QList<int> sizes(const QString &value) {
    QList<int> parsed;
    for (const QString &size : value.split(QLatin1Char(',')))
        parsed.append(qMax(size.toInt(), 1));
    std::sort(parsed.begin(), parsed.end());
    return parsed;
}

// The web documents of the options; nothing (and a line on stderr) when
// one cannot be made.
std::unique_ptr<WebDocuments> webDocuments(const Options &options) {
    auto documents = std::make_unique<WebDocuments>(options.oracle);
    for (const QString &page : options.pages) {
        if (!documents->addFile(page))
            return nullptr;
    }
    for (const int paragraphs : options.selectAll ? options.paragraphs : QList<int>{}) {
        if (!documents->addSelectAll(paragraphs))
            return nullptr;
    }
    for (const int items : options.lists) {
        if (!documents->addList(items))
            return nullptr;
    }
    for (const int paragraphs : options.carets) {
        if (!documents->addCaret(paragraphs))
            return nullptr;
    }
    return documents;
}

// What the user writes in each window with --second-window.
const QString backDraft = QStringLiteral("back window draft");
const QString frontDraft = QStringLiteral("front window draft");

// Stops the process the moment the clipboard holds `text`, and lets it go
// `milliseconds` later (or when the returned object goes).
std::unique_ptr<QObject> holdOnceDictationIsCopied(qint32 pid, const QString &text,
                                                   int milliseconds) {
    auto hold = std::make_unique<QObject>();
    auto stopped = std::make_shared<bool>(false);
    const auto release = [pid, stopped] {
        if (std::exchange(*stopped, false))
            ::kill(pid_t(pid), SIGCONT);
    };
    QObject::connect(
        QGuiApplication::clipboard(), &QClipboard::changed, hold.get(),
        [=, held = std::make_shared<bool>(false), owner = hold.get()](QClipboard::Mode mode) {
            if (*held || mode != QClipboard::Clipboard ||
                QGuiApplication::clipboard()->text() != text)
                return;
            *held = true;
            *stopped = ::kill(pid_t(pid), SIGSTOP) == 0;
            std::fprintf(stderr, "  held the editor for %d ms\n", milliseconds);
            QTimer::singleShot(milliseconds, owner, release);
        });
    QObject::connect(hold.get(), &QObject::destroyed, release);
    return hold;
}

class Run {
public:
    Run(QString program, const Options &options, QString speech)
        : m_options(options)
        , m_driver(std::move(program), std::move(speech)) {}

    // Per editor backend (and size), the dictations in order.
    std::map<QString, std::vector<Timing>> timings;
    // The keys of `timings`, as the columns are printed.
    QStringList columns;
    // With web documents, what each dictation did, in order.
    std::vector<WebDocumentResult> webDocuments;

    // Ends with the application stopped: the next build's cannot start
    // beside it.
    bool measure(const QString &label, const WebDocuments *documents) {
        const auto stop = qScopeGuard([&] { m_driver.stop(m_options.logs, label); });
        if (!m_driver.start())
            return false;
        if (documents) {
            webDocuments = dictateIntoWebDocuments(
                &m_driver, m_watch, *documents, m_options.browsers, m_options.rounds.value_or(1));
            return true;
        }
        const QList<int> sizes =
            m_options.paragraphs.isEmpty() ? QList<int>{0} : m_options.paragraphs;
        for (int round = 0; round < m_options.rounds.value_or(5); ++round) {
            for (const QString &backend : m_options.backends) {
                for (const int paragraphs : sizes) {
                    std::optional<Timing> timing = dictate(backend, paragraphs);
                    if (!timing)
                        return false;
                    if (timing->text < 0)
                        continue;
                    const QString column =
                        paragraphs > 0 ? backend + QStringLiteral(" %1p").arg(paragraphs) : backend;
                    if (!columns.contains(column))
                        columns.append(column);
                    timings[column].push_back(*timing);
                    std::fprintf(
                        stderr,
                        "  %s, %s: %.0f ms | %s | role=%s | clipboard=%s | capture %.0f ms "
                        "after the start\n",
                        qPrintable(m_driver.program()), qPrintable(column), timing->text,
                        qPrintable(timing->result),
                        qPrintable(captureField(timing->capture, QStringLiteral("role"))),
                        qPrintable(timing->clipboard), timing->captureAfterStart);
                    if (m_options.secondWindow)
                        std::fprintf(stderr, "    capture: %s | back window: %s\n",
                                     qPrintable(timing->context), qPrintable(timing->back));
                }
            }
        }
        return true;
    }

private:
    bool fail(const QString &why) { return m_driver.fail(why); }

    // The user writes `draft` at the caret of the field in front, once its
    // page has placed the caret there.
    bool writeDraft(qint32 pid, const QString &draft) {
        const QString loaded = m_options.richText ? testing::richTextEditorText() : QString();
        waitFor([&] { return m_watch.text(pid) == loaded; }, 20);
        idleFor(0.3);
        testing::xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), draft});
        return waitFor([&] { return m_watch.text(pid).value_or(QString()).contains(draft); }, 10);
    }

    // The user leaves a draft in the browser's window, opens the page
    // again in a second window, which comes to the front, and writes
    // there too.
    bool openSecondWindow(testing::ChromiumPage &chromium, testing::WebPage page) {
        const qint32 pid = chromium.processIdentifier();
        if (!writeDraft(pid, backDraft))
            return fail(QStringLiteral("the draft never reached the first window, which shows ") +
                        m_watch.text(pid).value_or(QStringLiteral("<none>")));
        const QString first = testing::xdotool({QStringLiteral("getactivewindow")});
        if (!chromium.openWindow(page) ||
            !waitFor(
                [&] {
                    const QString active = testing::xdotool({QStringLiteral("getactivewindow")});
                    const auto text = m_watch.text(pid);
                    return !active.isEmpty() && active != first && text &&
                           !text->contains(backDraft);
                },
                30))
            return fail(QStringLiteral("the second window never came to the front"));
        m_backWindow = first;
        return writeDraft(pid, frontDraft) ||
               fail(QStringLiteral("the draft never reached the second window"));
    }

    // The back window's field, brought forward.
    QString backWindowText(qint32 pid) {
        testing::xdotool({QStringLiteral("windowactivate"), m_backWindow});
        waitFor(
            [&] { return testing::xdotool({QStringLiteral("getactivewindow")}) == m_backWindow; },
            10);
        waitFor([&] { return m_watch.text(pid).value_or(QString()).contains(backDraft); }, 5);
        return m_watch.text(pid).value_or(QStringLiteral("<none>"));
    }

    std::optional<Timing> dictate(const QString &backend, int paragraphs) {
        QProcess editor;
        std::unique_ptr<testing::FirefoxPage> firefox;
        std::unique_ptr<testing::ChromiumPage> chromium;
        qint32 pid = 0;
        const testing::WebPage page =
            m_options.richText ? testing::WebPage::richTextEditor : testing::WebPage::textArea;
        if (m_options.firefox) {
            QString why;
            firefox = testing::FirefoxPage::start(backend == u"x11"
                                                      ? testing::FirefoxPage::Backend::x11
                                                      : testing::FirefoxPage::Backend::wayland,
                                                  &why, page, paragraphs);
            if (!firefox) {
                fail(why);
                return std::nullopt;
            }
            pid = firefox->processIdentifier();
        } else if (m_options.chromium) {
            QString why;
            if (backend != u"x11")
                why = QStringLiteral("Chromium is started as an X11 window only");
            else
                chromium = testing::ChromiumPage::start(page, &why, paragraphs);
            if (!chromium) {
                fail(why);
                return std::nullopt;
            }
            pid = chromium->processIdentifier();
        } else {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("GDK_BACKEND"), backend);
            environment.remove(QStringLiteral("NO_AT_BRIDGE"));
            editor.setProcessEnvironment(environment);
            editor.setStandardOutputFile(QProcess::nullDevice());
            editor.setStandardErrorFile(QProcess::nullDevice());
            editor.start(m_options.editor.first(), m_options.editor.mid(1));
            pid = qint32(editor.processId());
        }
        const auto stopEditor = qScopeGuard([&] {
            if (!firefox && !chromium)
                stopProcess(editor);
        });
        // Chromium says none of its windows is active: the bus does not
        // tell whether the desktop's focus is in it.
        // A page's editor shows its caret only once its script has filled
        // it and focused it: until then the page itself has the focus, and
        // the user would not speak yet.
        const auto focused = [&] {
            if (m_options.unseen) {
                const quint64 window = windowOf(pid, QStringLiteral("."));
                return window != 0 && testing::xdotool({QStringLiteral("getactivewindow")}) ==
                                          QString::number(window);
            }
            if (!chromium && m_watch.focusedProcess() != pid)
                return false;
            const std::optional<QString> text = m_watch.text(pid);
            return text && (!m_options.richText || text->contains(QChar(u'第')));
        };
        // A browser's first start with a new profile takes a while, and so
        // does a GTK 4 editor's in a compositor that draws in software on a
        // busy machine.
        const double startLimit = 40;
        // A compositor may keep an X11 window that starts from no launcher
        // behind Tovalit's own: the user would click it.
        if (!waitFor(focused, startLimit) &&
            !(backend == u"x11" && activateWindowOf(pid) && waitFor(focused, 10))) {
            // Nothing was dictated: the next one may have more luck.
            fail(QStringLiteral("the %1 editor never had the focus; left out").arg(backend));
            return Timing{};
        }

        if (chromium && m_options.secondWindow && !openSecondWindow(*chromium, page))
            return std::nullopt;

        const QString expected = testing::GatewayStandIn::formattedText();
        DictationDriver::Watch watch;
        // In a rich-text editor the paste lands in the caret's paragraph,
        // which is all that needs watching.
        watch.landed = [&] {
            return (m_options.richText ? m_watch.caretParagraph(pid) : m_watch.text(pid))
                .value_or(QString())
                .contains(expected);
        };
        watch.copyAfterText = m_options.copyAfterText;
        if (m_options.unseen) {
            watch.landed = [] { return false; };
            watch.mayMiss = true;
        }
        const std::unique_ptr<QObject> hold =
            m_options.holdMilliseconds > 0
                ? holdOnceDictationIsCopied(pid, expected, m_options.holdMilliseconds)
                : nullptr;
        std::optional<Timing> timing = m_driver.dictate(watch);
        // Nothing is seen arriving: the insertion's own end stands in for it.
        if (timing && m_options.unseen && timing->steps.count(QStringLiteral("insert.result")))
            timing->text = timing->steps.at(QStringLiteral("insert.result"));
        if (!m_options.after.isEmpty())
            readBack();
        if (timing && chromium && m_options.secondWindow) {
            timing->context = QStringLiteral("before=") +
                              captureField(timing->capture, QStringLiteral("before")) +
                              QStringLiteral(" after=") +
                              captureField(timing->capture, QStringLiteral("after"));
            timing->back = backWindowText(pid).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        }
        return timing;
    }

    void readBack() {
        QProcess after;
        after.setProcessChannelMode(QProcess::MergedChannels);
        after.start(QStringLiteral("sh"), {QStringLiteral("-c"), m_options.after});
        waitFor([&] { return after.state() == QProcess::NotRunning; }, 30);
        std::fprintf(stderr, "  read back: %s\n", after.readAll().trimmed().constData());
    }

    QString m_backWindow;
    const Options &m_options;
    DictationDriver m_driver;
    EditorWatch m_watch;
};

double median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

QString cell(double milliseconds) {
    return milliseconds < 0 ? QStringLiteral("-") : QString::number(milliseconds, 'f', 0);
}

std::vector<double> textTimes(const std::vector<Timing> &timings) {
    std::vector<double> values;
    for (const Timing &timing : timings)
        values.push_back(timing.text);
    return values;
}

void printResults(const std::vector<std::pair<QString, std::unique_ptr<Run>>> &runs) {
    std::printf("\nmedian ms after the stop          ");
    for (const auto &[label, run] : runs) {
        for (const QString &column : run->columns)
            std::printf("  %18s", qPrintable(label + QLatin1Char(' ') + column));
    }
    std::printf("\n");
    const auto row = [&](const QString &title, const std::function<double(const Timing &)> &of) {
        std::printf("%-34s", qPrintable(title));
        for (const auto &[label, run] : runs) {
            for (const QString &column : run->columns) {
                std::vector<double> values;
                for (const Timing &timing : run->timings[column]) {
                    if (of(timing) >= 0)
                        values.push_back(of(timing));
                }
                std::printf("  %18s", qPrintable(cell(median(values))));
            }
        }
        std::printf("\n");
    };
    for (const QString &step : deliverySteps) {
        row(step, [&step](const Timing &timing) {
            const auto found = timing.steps.find(step);
            return found == timing.steps.end() ? -1.0 : found->second;
        });
    }
    row(QStringLiteral("text in the editor"), [](const Timing &timing) { return timing.text; });
    for (const auto &[label, run] : runs) {
        const double x11 = median(textTimes(run->timings[QStringLiteral("x11")]));
        const double wayland = median(textTimes(run->timings[QStringLiteral("wayland")]));
        if (x11 > 0 && wayland > 0)
            std::printf("%s: wayland / x11 = %.2f\n", qPrintable(label), wayland / x11);
        // The largest editor against the smallest, in the same window.
        for (const QString &backend : {QStringLiteral("x11"), QStringLiteral("wayland")}) {
            QStringList sized;
            for (const QString &column : run->columns) {
                if (column.startsWith(backend + QLatin1Char(' ')))
                    sized.append(column);
            }
            if (sized.size() < 2)
                continue;
            const double smallest = median(textTimes(run->timings[sized.first()]));
            const double largest = median(textTimes(run->timings[sized.last()]));
            if (smallest > 0 && largest > 0)
                std::printf("%s: %s / %s = %.2f\n", qPrintable(label), qPrintable(sized.last()),
                            qPrintable(sized.first()), largest / smallest);
        }
    }
}

// GNOME's GTK 4 editor fades its caret in and out and redraws its whole
// window for every frame of a fade; GNOME's compositor draws in software in
// the headless session, and while it draws those it hands on the clipboard
// and the keys late. The fades keep their place in the rounds' fixed
// rhythm, so they fell on the stop of nearly every Wayland round and
// measured the editor instead of the delivery. The session's settings are
// thrown away with it, and every window, X11 or Wayland, is alike.
void stopCaretBlinking() {
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    GSettingsSchema *schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE)
               : nullptr;
    if (!schema)
        return;
    g_settings_schema_unref(schema);
    GSettings *settings = g_settings_new("org.gnome.desktop.interface");
    g_settings_set_boolean(settings, "cursor-blink", FALSE);
    g_settings_sync();
    g_object_unref(settings);
}

} // namespace
} // namespace tovalit::bench

int main(int argc, char *argv[]) {
    using namespace tovalit;
    // Holding the editor watches the X clipboard, which takes a GUI
    // application on the X server.
    const bool holds = std::any_of(
        argv, argv + argc, [](const char *argument) { return !std::strcmp(argument, "--hold"); });
    if (holds)
        qputenv("QT_QPA_PLATFORM", "xcb");
    const std::unique_ptr<QCoreApplication> application =
        holds ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    bench::Options options;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString &argument = arguments[index];
        const QString value = arguments.value(index + 1);
        if (argument == u"--app" && value.contains(QLatin1Char('='))) {
            options.apps.emplace_back(value.section(QLatin1Char('='), 0, 0),
                                      value.section(QLatin1Char('='), 1));
            ++index;
        } else if (argument == u"--logs" && !value.isEmpty()) {
            options.logs = value;
            ++index;
        } else if (argument == u"--backends" && !value.isEmpty()) {
            options.backends = value.split(QLatin1Char(','));
            ++index;
        } else if (argument == u"--firefox") {
            options.firefox = true;
        } else if (argument == u"--chromium") {
            options.chromium = true;
        } else if (argument == u"--rich-text") {
            options.richText = true;
        } else if (argument == u"--paragraphs" && !value.isEmpty()) {
            options.paragraphs = bench::sizes(value);
            options.richText = true;
            ++index;
        } else if (argument == u"--page" && !value.isEmpty()) {
            options.pages.append(value);
            ++index;
        } else if (argument == u"--select-all") {
            options.selectAll = true;
        } else if (argument == u"--list" && !value.isEmpty()) {
            options.lists += bench::sizes(value);
            ++index;
        } else if (argument == u"--caret" && !value.isEmpty()) {
            options.carets += bench::sizes(value);
            ++index;
        } else if (argument == u"--oracle" && !value.isEmpty()) {
            options.oracle = value;
            ++index;
        } else if (argument == u"--paste-only") {
            options.pasteOnly = true;
        } else if (argument == u"--copy-after-text") {
            options.copyAfterText = true;
        } else if (argument == u"--unseen") {
            options.unseen = true;
        } else if (argument == u"--hold" && !value.isEmpty()) {
            options.holdMilliseconds = value.toInt();
            ++index;
        } else if (argument == u"--after" && !value.isEmpty()) {
            options.after = value;
            ++index;
        } else if (argument == u"--second-window") {
            options.secondWindow = true;
        } else if (argument == u"--rounds" && value.toInt() > 0) {
            options.rounds = value.toInt();
            ++index;
        } else if (argument == u"--editor" && index + 1 < arguments.size()) {
            options.editor = arguments.mid(index + 1);
            break;
        } else {
            std::fprintf(
                stderr,
                "usage: bench_delivery_latency [--app LABEL=PATH]... "
                "[--rounds N] [--backends x11,wayland] [--logs FOLDER] "
                "[--firefox | --chromium [--second-window]] [--rich-text] [--paragraphs N,...] "
                "[--copy-after-text] [--unseen] [--after SHELL-LINE] [--hold MS] "
                "[--editor COMMAND...]\n"
                "       bench_delivery_latency [--app LABEL=PATH]... [--rounds N] [--logs FOLDER] "
                "[--firefox] [--chromium] [--page FILE.html]... "
                "[--paragraphs N,... --select-all] [--list N,...] [--caret N,...] "
                "[--oracle FILE] [--paste-only]\n");
            return 2;
        }
    }
    if (options.pasteOnly && !options.webDocuments()) {
        std::fprintf(stderr, "--paste-only goes with web documents\n");
        return 2;
    }
    if (options.webDocuments()) {
        if (options.oracle.isEmpty() && !options.pages.isEmpty())
            options.oracle =
                QFileInfo(options.pages.first()).dir().filePath(QStringLiteral("oracle.js"));
        if (options.oracle.isEmpty() || (!options.paragraphs.isEmpty() && !options.selectAll) ||
            (options.selectAll && options.paragraphs.isEmpty()) || options.secondWindow ||
            options.copyAfterText) {
            std::fprintf(stderr,
                         "web documents need the watching script (--oracle, or an "
                         "oracle.js beside the first --page), take --paragraphs with "
                         "--select-all only, and no --second-window or --copy-after-text\n");
            return 2;
        }
        if (options.firefox || !options.chromium)
            options.browsers.append(QStringLiteral("firefox"));
        if (options.chromium || !options.firefox)
            options.browsers.append(QStringLiteral("chromium"));
        // Their browsers are X11 windows, in a Wayland session too.
        options.backends = {QStringLiteral("x11")};
    }
    if (options.apps.empty() && !options.pasteOnly)
        options.apps.emplace_back(QStringLiteral("tovalit"),
                                  tovalit::testing::builtApplicationPath());
    if (options.editor.isEmpty())
        options.editor = {tovalit::testing::testToolPath(QStringLiteral("gtk_text_view")),
                          QStringLiteral("会议记录"), QString(), QStringLiteral("0")};
    if ((options.backends.contains(QStringLiteral("wayland")) &&
         qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) ||
        !bench::sessionIsReady()) {
        std::fprintf(stderr, "needs a Wayland session with XWayland, audio and accessibility\n");
        return 2;
    }
    qputenv("TOVALIT_ENABLE_DEBUG_LOGGING", "1");
    if (tovalit::testing::onDesktop("GNOME"))
        bench::stopCaretBlinking();
    QTemporaryDir scratch;
    const QString speech = scratch.filePath(QStringLiteral("speech.wav"));
    if (auto failure = tovalit::testing::synthesizeSpeech(
            QStringLiteral("meeting notes for today: bring the quarterly report and the budget"),
            speech)) {
        std::fprintf(stderr, "%s\n", qPrintable(*failure));
        return 2;
    }
    const std::unique_ptr<bench::WebDocuments> documents =
        options.webDocuments() ? bench::webDocuments(options) : nullptr;
    if (options.webDocuments() && !documents)
        return 2;
    std::vector<std::pair<QString, std::unique_ptr<bench::Run>>> runs;
    for (const auto &[label, program] : options.apps) {
        auto run = std::make_unique<bench::Run>(program, options, speech);
        if (!run->measure(label, documents.get()))
            return 1;
        runs.emplace_back(label, std::move(run));
    }
    if (!documents) {
        bench::printResults(runs);
        return 0;
    }
    std::vector<std::pair<QString, std::vector<bench::WebDocumentResult>>> results;
    for (const auto &[label, run] : runs)
        results.emplace_back(label, run->webDocuments);
    if (options.pasteOnly) {
        bench::EditorWatch watch;
        results.emplace_back(QStringLiteral("paste-only"),
                             bench::dictateIntoWebDocuments(nullptr, watch, *documents,
                                                            options.browsers,
                                                            options.rounds.value_or(1)));
    }
    bench::printWebDocumentResults(results);
    return 0;
}
