#pragma once

#include <QString>

namespace tovalit {

// Where the current dictation stands, as the user sees it.
class RecordingState {
public:
    enum class Case {
        idle,
        // A start is under way (set before its first wait).
        requestingPermission,
        recording,
        // Stopped; the text is being recognised, cleaned or rewritten.
        thinking,
        // The final text is being written into the focused input.
        inserting,
        failed,
    };

    // Idle.
    RecordingState() = default;

    static RecordingState idle() { return RecordingState(Case::idle); }
    static RecordingState requestingPermission() {
        return RecordingState(Case::requestingPermission);
    }
    static RecordingState recording() { return RecordingState(Case::recording); }
    static RecordingState thinking() { return RecordingState(Case::thinking); }
    static RecordingState inserting() { return RecordingState(Case::inserting); }
    static RecordingState failed(QString message) {
        return RecordingState(Case::failed, std::move(message));
    }

    Case kind() const { return m_case; }
    bool is(Case kind) const { return m_case == kind; }
    // The user-facing text of a failure; empty for the other cases.
    const QString &failureMessage() const { return m_message; }

    // The status line of the main window for a shortcut shown as
    // `display` ("Fn", "Alt+Super+K").
    QString hint(const QString &display) const;

    bool operator==(const RecordingState &) const = default;

private:
    explicit RecordingState(Case kind, QString message = {})
        : m_case(kind)
        , m_message(std::move(message)) {}

    Case m_case = Case::idle;
    QString m_message;
};

// "idle", "recording", "failed(<message>)" …, for logs and test output.
QString describe(const RecordingState &state);

} // namespace tovalit
