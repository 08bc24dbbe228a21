#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tovalit {

// How much a natural-mode rewrite may reshape a dictation: a short one stays
// a sentence, a longer one may gain paragraphs. Selects the system prompt
// and the token limit. Usable like an enumeration (switch, ==).
class NaturalModeStage {
public:
    enum Value { shortCleanup, mediumCleanup };

    constexpr NaturalModeStage(Value value)
        : m_value(value) {}
    constexpr operator Value() const { return m_value; }

    static constexpr std::array<Value, 2> allCases() { return {shortCleanup, mediumCleanup}; }

    // "shortCleanup" / "mediumCleanup".
    QString rawValue() const;
    static std::optional<NaturalModeStage> fromRawValue(QStringView rawValue);

    // Shown in the controller's engine note.
    QString label() const;
    int maxTokens() const;

    // Recordings longer than ten seconds, and dictated lists, get the medium
    // stage; everything else the short one.
    static NaturalModeStage resolve(double recordingDuration, QStringView transcript);

private:
    Value m_value;
};

inline size_t qHash(NaturalModeStage stage, size_t seed = 0) noexcept {
    return ::qHash(static_cast<int>(stage), seed);
}

} // namespace tovalit
