#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace tovalit {

// The diagnostics log: timestamped, categorised lines appended to
// Diagnostics/insertion-debug.log in the data folder, when switched on by
// TOVALIT_ENABLE_DEBUG_LOGGING or the user setting. Callers never wait for
// the file and never see a failure: lines are built and written on one
// writer thread, in the order the calls reached it.
class TovalitDebugLogger {
public:
    TovalitDebugLogger() = delete;

    // Read anew on every call. When the environment variable is present it
    // alone decides ("1", "true", "yes" or "on", trimmed, any case); only
    // without it does "vellup_transcriber.enableDebugLogging" of the
    // standard user defaults.
    static bool isEnabled();

    // Logs `message` under `category` ("insert.start", "deliver.result" …).
    // `message` is either text or a callable returning a QString; a
    // callable runs later on the writer thread, and never when the log is
    // off, so it must own (capture by value) everything it reads.
    // Declare its return type: `[=]() -> QString { return "a=" + a; }`.
    template <typename Message>
    static void log(const QString &category, Message &&message);

    // "===== note =====" under the category "session".
    static void startNewSession(const QString &note);

    // "3..<5" for a range at 3 of length 2; "<nil>" for none. Any type
    // with `location` and `length` members will do.
    template <typename Range>
    static QString describe(const std::optional<Range> &range) {
        return range ? describeRange(range->location, range->length) : QStringLiteral("<nil>");
    }
    static QString describe(std::nullopt_t) { return QStringLiteral("<nil>"); }
    static QString describeRange(qint64 location, qint64 length);

    // Another application's text made fit for one line: line feeds written
    // as "\n", trimmed, "<empty>" when nothing is left, cut to `limit`
    // characters followed by "..."; "<nil>" for no text.
    static QString preview(const std::optional<QString> &text, qsizetype limit);

    // Blocks until every line handed over so far has been written or
    // dropped.
    static void flush();
    // Writes every line handed over so far and ends the writer thread, so
    // that nothing is left writing while the process tears down its
    // statics. The application calls it once its windows and controller
    // are gone; a line logged after it starts a new writer.
    static void shutdown();

    // Where the lines go, for people and tests: the data folder's
    // Diagnostics/insertion-debug.log. Creates nothing.
    static QString logFilePath();

    static constexpr const char *environmentVariable = "TOVALIT_ENABLE_DEBUG_LOGGING";
    static constexpr const char *defaultsKey = "vellup_transcriber.enableDebugLogging";

private:
    static void enqueue(QString category, std::function<QString()> message);
};

template <typename Message>
void TovalitDebugLogger::log(const QString &category, Message &&message) {
    if (!isEnabled())
        return;
    if constexpr (std::is_invocable_v<std::decay_t<Message> &>) {
        // A lambda whose return type is deduced from `a + b` returns a
        // QStringBuilder that refers to temporaries of its own body.
        static_assert(std::is_same_v<std::invoke_result_t<std::decay_t<Message> &>, QString>,
                      "a message builder must return QString: write [=]() -> QString { ... }");
        enqueue(category, std::function<QString()>(std::forward<Message>(message)));
    } else {
        enqueue(category, [text = QString(std::forward<Message>(message))] { return text; });
    }
}

} // namespace tovalit
