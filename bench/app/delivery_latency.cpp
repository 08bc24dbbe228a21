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
// Wayland session, to the session's own clipboard), and with --copy-after-text copies something
// else the moment the text lands, which is then what the clipboard holds. --second-window (with
// --chromium) has the user leave a draft in the page, open the page again in a second window and
// write a draft there too: the dictation goes to that front window, and each dictation's line
// then also says what the capture read around the caret and what the back window holds after.

#include "bench/app/application_under_test.h"
#include "platform/accessibility_thread.h"
#include "platform/display_session.h"
#include "platform/embedded_object_text.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/x11_window_system.h"
#include "platform/linux/xcb_connection.h"
#include "services/context/accessibility_focus.h"
#include "tests/support/application_process.h"
#include "tests/support/chromium_page.h"
#include "tests/support/firefox_page.h"
#include "tests/support/remote_desktop_consent.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/wayland_clipboard_client.h"
#include "tests/support/x_clipboard_client.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <gio/gio.h>
#include <map>

namespace tovalit::bench {
namespace {

// The steps of a delivery as the diagnostics log names them, in order.
const QStringList steps = {QStringLiteral("context"),         QStringLiteral("format.request"),
                           QStringLiteral("format.response"), QStringLiteral("deliver"),
                           QStringLiteral("insert.start"),    QStringLiteral("insert.paste"),
                           QStringLiteral("insert.keys"),     QStringLiteral("insert.verify"),
                           QStringLiteral("insert.path"),     QStringLiteral("insert.result"),
                           QStringLiteral("deliver.result")};

struct Options {
    std::vector<std::pair<QString, QString>> apps;
    int rounds = 5;
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
};

// What the user copied before speaking, which the clipboard holds again
// once the text is in.
const QString userClipboard = QStringLiteral("用户自己复制的文字");
// What the user copies right after the text lands, with --copy-after-text.
const QString laterClipboard = QStringLiteral("文字到了之后复制的");
// What the user writes in each window with --second-window.
const QString backDraft = QStringLiteral("back window draft");
const QString frontDraft = QStringLiteral("front window draft");

// One dictation: milliseconds from the stop to the text, and to each step;
// how the insertion ended, the role of the element the capture read, and
// the clipboard's text afterwards.
struct Timing {
    double text = -1;
    std::map<QString, double> steps;
    QString result;
    QString role;
    QString clipboard;
    // With --second-window: the capture's text before and after the caret,
    // and the back window's text afterwards.
    QString context;
    QString back;
};

class EditorWatch {
public:
    EditorWatch()
        : m_client(std::make_shared<AtspiAccessibilityClient>(m_thread, windowSystemFocus()))
        , m_bus(std::make_shared<AtspiBus>()) {
        m_bus->setWindowSystemFocus(windowSystemFocus());
    }
    ~EditorWatch() {
        // Its connection belongs to the thread.
        m_thread->post([bus = std::move(m_bus)]() mutable { bus.reset(); });
    }
    EditorWatch(const EditorWatch &) = delete;
    EditorWatch &operator=(const EditorWatch &) = delete;

    std::optional<QString> text(qint32 pid) {
        return testing::runTask(m_thread->run([client = m_client, pid]() -> std::optional<QString> {
            client->isProcessTrusted();
            auto focused = accessibilityValueAs<AccessibilityElementRef>(
                client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
            if (!focused || !*focused)
                return std::nullopt;
            return accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
        }));
    }

    // The text of the paragraph the caret of the focused rich-text editor
    // is in, read straight from the bus: a few calls however long the
    // editor, so that the watch does not slow down the page it watches.
    std::optional<QString> caretParagraph(qint32 pid) {
        return testing::runTask(m_thread->run([bus = m_bus, pid]() -> std::optional<QString> {
            if (!bus->connectIfEnabled())
                return std::nullopt;
            const auto service = bus->serviceOfProcess(pid);
            const auto editor = service ? bus->focusedElement(*service) : std::nullopt;
            const auto caret = editor ? bus->caretOffset(*editor) : std::nullopt;
            const auto before = caret ? bus->text(*editor, 0, *caret) : std::nullopt;
            if (!before)
                return std::nullopt;
            const auto paragraph = bus->embeddedObjects(
                *editor, before->count(QChar(EmbeddedObjectText::objectReplacementCharacter)), 1);
            if (!paragraph || paragraph->isEmpty())
                return std::nullopt;
            return bus->text(paragraph->first(), 0, -1);
        }));
    }

    std::optional<qint32> focusedProcess() {
        return testing::runTask(m_thread->run([client = m_client]() -> std::optional<qint32> {
            const auto focus = AccessibilityFocus::read(*client);
            return focus ? std::optional<qint32>(focus->processIdentifier) : std::nullopt;
        }));
    }

private:
    // Chromium marks none of its windows active: its field is read in the
    // window the X server names, as the application reads it.
    static std::function<WindowSystemFocus()> windowSystemFocus() {
        std::shared_ptr<XcbConnection> x = XcbConnection::open();
        auto windows = std::make_shared<X11WindowSystem>(x, nullptr);
        const bool knowsEveryWindow = x && !DisplaySession::fromEnvironment().wayland;
        return [windows, knowsEveryWindow] {
            return WindowSystemFocus{knowsEveryWindow, windows->focusedWindow()};
        };
    }

    std::shared_ptr<AccessibilityThread> m_thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> m_client;
    std::shared_ptr<AtspiBus> m_bus;
};

class Run {
public:
    Run(QString program, const Options &options, QString speech)
        : m_program(std::move(program))
        , m_options(options)
        , m_speech(std::move(speech))
        , m_application(std::make_unique<ApplicationUnderTest>(m_program)) {}

    // Per editor backend (and size), the dictations in order.
    std::map<QString, std::vector<Timing>> timings;
    // The keys of `timings`, as the columns are printed.
    QStringList columns;

    // Ends with the application stopped: the next build's cannot start
    // beside it.
    bool measure(const QString &label) {
        const auto stop = qScopeGuard([&] {
            if (!m_options.logs.isEmpty()) {
                QDir().mkpath(m_options.logs);
                const QString kept = QDir(m_options.logs).filePath(label + QStringLiteral(".log"));
                QFile::remove(kept);
                QFile::copy(logPath(), kept);
            }
            m_application.reset();
        });
        if (!m_application->start())
            return fail(m_application->failure());
        if (!waitFor(
                [&] { return m_application->gateway().callsTo("/api/proxy/lexicon-sync") > 0; },
                20))
            return fail(QStringLiteral("the start-up synchronisation never came"));
        int dictations = 0;
        const QList<int> sizes =
            m_options.paragraphs.isEmpty() ? QList<int>{0} : m_options.paragraphs;
        for (int round = 0; round < m_options.rounds; ++round) {
            for (const QString &backend : m_options.backends) {
                for (const int paragraphs : sizes) {
                    std::optional<Timing> timing = dictate(backend, ++dictations, paragraphs);
                    if (!timing)
                        return false;
                    if (timing->text < 0) {
                        --dictations;
                        continue;
                    }
                    const QString column =
                        paragraphs > 0 ? backend + QStringLiteral(" %1p").arg(paragraphs) : backend;
                    if (!columns.contains(column))
                        columns.append(column);
                    timings[column].push_back(*timing);
                    std::fprintf(stderr, "  %s, %s: %.0f ms | %s | role=%s | clipboard=%s\n",
                                 qPrintable(m_program), qPrintable(column), timing->text,
                                 qPrintable(timing->result), qPrintable(timing->role),
                                 qPrintable(timing->clipboard));
                    if (m_options.secondWindow)
                        std::fprintf(stderr, "    capture: %s | back window: %s\n",
                                     qPrintable(timing->context), qPrintable(timing->back));
                }
            }
        }
        return true;
    }

private:
    bool fail(const QString &why) {
        std::fprintf(stderr, "  %s: %s\n", qPrintable(m_program), qPrintable(why));
        return false;
    }

    static bool activateX11Window(qint32 pid) {
        const quint64 window = windowOf(pid, QStringLiteral("."));
        if (!window)
            return false;
        testing::xdotool({QStringLiteral("windowactivate"), QString::number(window)});
        return true;
    }

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

    bool toggle() {
        QProcess action;
        action.start(m_program, {QStringLiteral("--action"), QStringLiteral("toggle-recording")});
        return waitFor([&] { return action.state() == QProcess::NotRunning; }, 10) &&
               action.exitCode() == 0;
    }

    std::optional<Timing> dictate(const QString &backend, int index, int paragraphs) {
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
            !(backend == u"x11" && activateX11Window(pid) && waitFor(focused, 10))) {
            // Nothing was dictated: the next one may have more luck.
            fail(QStringLiteral("the %1 editor never had the focus; left out").arg(backend));
            return Timing{};
        }

        if (chromium && m_options.secondWindow && !openSecondWindow(*chromium, page))
            return std::nullopt;

        QProcess copied;
        if (!copy(copied, userClipboard)) {
            fail(QStringLiteral("the user's copy never reached the clipboard"));
            return std::nullopt;
        }
        const auto dropCopy = qScopeGuard([&] { stopProcess(copied); });
        testing::GatewayStandIn &gateway = m_application->gateway();
        const size_t connections = gateway.recogniser.handshakes().size();
        const QDateTime started = QDateTime::currentDateTimeUtc();
        if (!toggle() || !waitFor(
                             [&] {
                                 return gateway.recogniser.handshakes().size() > connections &&
                                        gateway.recogniser.isConnected();
                             },
                             15)) {
            fail(QStringLiteral("dictation %1 never started streaming").arg(index));
            return std::nullopt;
        }
        // GNOME asks the user in a window of its own, once a run, whether
        // Tovalit may have its keyboard: the user agrees before speaking,
        // so every stop is measured with the grant held.
        if (!m_consentAnswered && testing::onDesktop("GNOME")) {
            const ::testing::AssertionResult answered =
                testing::answerRemoteDesktopConsent(testing::RemoteDesktopAnswer::share);
            if (!answered) {
                fail(QString::fromStdString(answered.message()));
                return std::nullopt;
            }
            m_consentAnswered = true;
        }
        QProcess player;
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("-d"), QStringLiteral("vsink"), m_speech});
        waitFor([&] { return player.state() == QProcess::NotRunning; }, 30);
        const size_t tail = gateway.recogniser.binaryMessages().size() + 4;
        waitFor([&] { return gateway.recogniser.binaryMessages().size() >= tail; }, 5);

        // The stop counts from the recording's closing frame reaching the
        // recogniser, its first sign outside the application: the action's
        // own start-up is no part of it.
        const size_t framesBefore = gateway.recogniser.binaryMessages().size();
        QProcess action;
        action.start(m_program, {QStringLiteral("--action"), QStringLiteral("toggle-recording")});
        QElapsedTimer sinceStop;
        QDateTime stopped;
        Timing timing;
        const QString expected = testing::GatewayStandIn::formattedText();
        QElapsedTimer limit;
        limit.start();
        while (true) {
            testing::pumpEvents(1);
            if (!sinceStop.isValid() && closingFrameSent(framesBefore)) {
                sinceStop.start();
                stopped = QDateTime::currentDateTimeUtc();
            }
            // In a rich-text editor the paste lands in the caret's
            // paragraph, which is all that needs watching.
            if (sinceStop.isValid() &&
                (m_options.richText ? m_watch.caretParagraph(pid) : m_watch.text(pid))
                    .value_or(QString())
                    .contains(expected))
                break;
            if (limit.elapsed() > 15000) {
                fail(QStringLiteral("dictation %1 never reached the %2 editor")
                         .arg(index)
                         .arg(backend));
                return std::nullopt;
            }
        }
        timing.text = double(sinceStop.nsecsElapsed()) / 1e6;
        // The user copies something else the moment the text is in, before
        // the clipboard they had comes back: the copy is what stays.
        QProcess copiedAfter;
        const auto dropCopyAfter = qScopeGuard([&] { stopProcess(copiedAfter); });
        if (m_options.copyAfterText && !copy(copiedAfter, laterClipboard, false)) {
            fail(QStringLiteral("the copy after the text could not start"));
            return std::nullopt;
        }
        waitFor([&] { return m_application->historyCount() >= index; }, 10);
        waitFor([&] { return action.state() == QProcess::NotRunning; }, 5);
        idleFor(0.6); // the last log lines, the clipboard's restore
        timing.steps = stepsSince(stopped);
        timing.result = firstMessage(QStringLiteral("insert.result"), stopped)
                            .section(QStringLiteral("result="), 1);
        timing.role = firstMessage(QStringLiteral("capture"), started)
                          .section(QStringLiteral(" | role="), 1)
                          .section(QStringLiteral(" | "), 0, 0);
        timing.clipboard = paste().value_or(QStringLiteral("<none>"));
        if (chromium && m_options.secondWindow) {
            const QString capture = firstMessage(QStringLiteral("capture"), started);
            timing.context = QStringLiteral("before=") +
                             capture.section(QStringLiteral(" | before="), 1)
                                 .section(QStringLiteral(" | "), 0, 0) +
                             QStringLiteral(" after=") +
                             capture.section(QStringLiteral(" | after="), 1)
                                 .section(QStringLiteral(" | "), 0, 0);
            timing.back = backWindowText(pid).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        }
        return timing;
    }

    QString logPath() const {
        return QDir(m_application->dataFolder())
            .filePath(QStringLiteral("Diagnostics/insertion-debug.log"));
    }

    bool closingFrameSent(size_t framesBefore) const {
        const auto messages = m_application->gateway().recogniser.binaryMessages();
        for (size_t index = framesBefore; index < size_t(messages.size()); ++index) {
            const auto frame = testing::readClientFrame(messages[index]);
            if (frame && frame->sequence && *frame->sequence < 0)
                return true;
        }
        return false;
    }

    // Another application takes the clipboard with `text`, in `owner`.
    // Where the compositor keeps the session's clipboard apart from the X
    // server's while a native window is in front (KDE's, which lets any
    // application at it through data control), the user copies there.
    static bool copiesInTheSession() {
        return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && testing::onDesktop("KDE");
    }

    // Another application takes the clipboard with `text`, in `owner`;
    // with `wait`, until a paste gets it.
    static bool copy(QProcess &owner, const QString &text, bool wait = true) {
        owner.setStandardOutputFile(QProcess::nullDevice());
        owner.setStandardErrorFile(QProcess::nullDevice());
        if (copiesInTheSession()) {
            owner.start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), text});
            if (!owner.waitForStarted(5000))
                return false;
        } else {
            owner.start(QStringLiteral("xclip"),
                        {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                         QStringLiteral("clipboard"), QStringLiteral("-i")});
            if (!owner.waitForStarted(5000))
                return false;
            owner.write(text.toUtf8());
            owner.closeWriteChannel();
        }
        return !wait || waitFor([&] { return paste() == text; }, 5);
    }

    static std::optional<QString> paste() {
        return copiesInTheSession() ? testing::WaylandClipboardClient::paste()
                                    : testing::XClipboardClient::paste();
    }

    struct LogLine {
        QDateTime at;
        QString category;
        QString message;
    };

    // The diagnostics log's lines from `since` on, in order.
    std::vector<LogLine> logSince(const QDateTime &since) const {
        std::vector<LogLine> lines;
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray &raw : log.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw);
            const qsizetype close = line.indexOf(QStringLiteral("] ["));
            if (!line.startsWith(QLatin1Char('[')) || close < 0)
                continue;
            const QDateTime at = QDateTime::fromString(line.mid(1, close - 1), Qt::ISODateWithMs);
            const qsizetype categoryEnd = line.indexOf(QLatin1Char(']'), close + 3);
            if (!at.isValid() || at < since || categoryEnd < 0)
                continue;
            lines.push_back({at, line.mid(close + 3, categoryEnd - close - 3),
                             line.mid(categoryEnd + 1).trimmed()});
        }
        return lines;
    }

    // The first line of each step after `since`, as milliseconds after it.
    std::map<QString, double> stepsSince(const QDateTime &since) const {
        std::map<QString, double> found;
        for (const LogLine &line : logSince(since)) {
            if (steps.contains(line.category) && !found.count(line.category))
                found[line.category] = double(since.msecsTo(line.at));
        }
        return found;
    }

    QString firstMessage(const QString &category, const QDateTime &since) const {
        for (const LogLine &line : logSince(since)) {
            if (line.category == category)
                return line.message;
        }
        return QString();
    }

    QString m_program;
    QString m_backWindow;
    bool m_consentAnswered = false;
    const Options &m_options;
    QString m_speech;
    std::unique_ptr<ApplicationUnderTest> m_application;
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
    for (const QString &step : steps) {
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
    QCoreApplication application(argc, argv);
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
            for (const QString &size : value.split(QLatin1Char(',')))
                options.paragraphs.append(qMax(size.toInt(), 1));
            std::sort(options.paragraphs.begin(), options.paragraphs.end());
            options.richText = true;
            ++index;
        } else if (argument == u"--copy-after-text") {
            options.copyAfterText = true;
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
                "[--copy-after-text] "
                "[--editor COMMAND...]\n");
            return 2;
        }
    }
    if (options.apps.empty())
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
    std::vector<std::pair<QString, std::unique_ptr<bench::Run>>> runs;
    for (const auto &[label, program] : options.apps) {
        auto run = std::make_unique<bench::Run>(program, options, speech);
        if (!run->measure(label))
            return 1;
        runs.emplace_back(label, std::move(run));
    }
    bench::printResults(runs);
    return 0;
}
