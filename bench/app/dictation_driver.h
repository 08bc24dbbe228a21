#pragma once

// One build of Tovalit as the delivery benchmarks drive it: started against
// the gateway stand-in, and dictated into whatever window is in front as
// its user would, by the desktop entry's recording action with speech
// played into the session's microphone, the user's own copy on the
// clipboard.

#include "bench/app/application_under_test.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tovalit::bench {

// The steps of a delivery as the diagnostics log names them, in order.
extern const QStringList deliverySteps;

// One dictation: milliseconds from the stop to the text (-1: it never
// came), and to each step; how the insertion ended, what the recording's
// capture read, and the clipboard's text afterwards.
struct Timing {
    double text = -1;
    std::map<QString, double> steps;
    QString result;
    // The log line of the capture the delivery went by, whose fields
    // captureField() picks out.
    QString capture;
    // From the recording's start action to the first capture's log line:
    // the action's own start-up is in it, the same for every editor.
    double captureAfterStart = -1;
    QString clipboard;
    // With --second-window: the capture's text before and after the caret,
    // and the back window's text afterwards.
    QString context;
    QString back;
};

// A field of the capture's log line ("role", "before", "selected" ...) as
// the log wrote it: line breaks as "\n", long texts cut short.
QString captureField(const QString &capture, const QString &name);

class DictationDriver {
public:
    DictationDriver(QString program, QString speech);
    ~DictationDriver();
    DictationDriver(const DictationDriver &) = delete;
    DictationDriver &operator=(const DictationDriver &) = delete;

    // Starts the application and waits for its start-up synchronisation.
    bool start();
    // Stops it, keeping its diagnostics log as LABEL.log in `logs` when
    // that is given: the next build's cannot start beside it.
    void stop(const QString &logs, const QString &label);

    // How a dictation's text is watched for from the stop on.
    struct Watch {
        // Whether the text is in; asked every millisecond or so.
        std::function<bool()> landed;
        // A text that never lands is a finding rather than a failure: the
        // dictation then ends once the insertion has said how it ended.
        bool mayMiss = false;
        // The user copies something else the moment the text lands.
        bool copyAfterText = false;
        double limitSeconds = 15;
    };

    // One dictation into the window in front; nothing (and a line on
    // stderr) when it could not be made.
    std::optional<Timing> dictate(const Watch &watch);

    // Says why on stderr, for this build; false.
    bool fail(const QString &why) const;

    const QString &program() const { return m_program; }
    // What the user copied before speaking, which the clipboard should
    // hold again once the text is in.
    static QString userClipboard();

private:
    struct LogLine {
        QDateTime at;
        QString category;
        QString message;
    };

    bool toggle();
    bool closingFrameSent(size_t framesBefore) const;
    QString logPath() const;
    // The diagnostics log's lines from `since` on, in order.
    std::vector<LogLine> logSince(const QDateTime &since) const;
    // The first line of each step after `since`, as milliseconds after it.
    std::map<QString, double> stepsSince(const QDateTime &since) const;
    QString firstMessage(const QString &category, const QDateTime &since) const;
    // The capture line whose context the delivery went by.
    QString captureDelivered(const QDateTime &since) const;
    // Milliseconds from `since` to the first log line of `category`, or -1.
    double firstAfter(const QString &category, const QDateTime &since) const;
    // Whether the delivery has said how it ended.
    bool deliveryEnded(const QDateTime &since) const;

    QString m_program;
    QString m_speech;
    std::unique_ptr<ApplicationUnderTest> m_application;
    int m_dictations = 0;
    bool m_consentAnswered = false;
};

// What the user's own Ctrl+V does with the dictated text, with no
// application involved: the user copies the text, then presses the keys
// through XTest into the window in front. The timing's text counts from
// the keys, and it has no steps; nothing (and a line on stderr) when the
// copy or the keys could not be made.
std::optional<Timing> pasteAsTheUser(const DictationDriver::Watch &watch);

} // namespace tovalit::bench
