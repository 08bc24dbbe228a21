#pragma once

#include <QString>

namespace tovalit {

// What a spoken instruction at the start of a dictation made of it; the
// stop and the retry of an archived recording both decide by it whether to
// deliver, show the completion panel and learn from the history.
class InstructionRoutingResult {
public:
    enum class Kind { executed, creationScheduled, notRouted };

    static InstructionRoutingResult executed(QString text, QString note);
    static InstructionRoutingResult creationScheduled(QString text, QString note);
    static InstructionRoutingResult notRouted();

    Kind kind() const { return m_kind; }
    bool isRouted() const { return m_kind != Kind::notRouted; }
    const QString &text() const { return m_text; }
    const QString &note() const { return m_note; }
    bool shouldDeliver() const { return m_kind != Kind::creationScheduled; }
    bool shouldShowCompletionHUD() const { return m_kind != Kind::creationScheduled; }
    bool shouldRunHistoryLearning() const { return m_kind == Kind::notRouted; }

private:
    InstructionRoutingResult(Kind kind, QString text, QString note);
    Kind m_kind;
    QString m_text;
    QString m_note;
};

} // namespace tovalit
