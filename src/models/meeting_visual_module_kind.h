#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tovalit {

// The layout a visual module of the meeting tree is drawn in.
enum class MeetingVisualModuleKind {
    cards,
    process,
    chips,
    beforeAfter,
    annotation,
    decision,
    hierarchy,
    history,
};

inline constexpr std::array<MeetingVisualModuleKind, 8> allMeetingVisualModuleKinds{
    MeetingVisualModuleKind::cards,      MeetingVisualModuleKind::process,
    MeetingVisualModuleKind::chips,      MeetingVisualModuleKind::beforeAfter,
    MeetingVisualModuleKind::annotation, MeetingVisualModuleKind::decision,
    MeetingVisualModuleKind::hierarchy,  MeetingVisualModuleKind::history,
};

// The layout name ("多卡片", "流程板" …): what the model writes in a module
// header, what prompts show and what the board's badge reads.
QString rawValue(MeetingVisualModuleKind kind);

// Exactly one of the eight layout names, nothing else.
std::optional<MeetingVisualModuleKind> meetingVisualModuleKindFromRawValue(QStringView rawValue);

// The lenient lookup used for module headers: trimmed and lower-cased, then
// matched whole against the layout names and their accepted synonyms
// ("流程", "process", "流程板模块" …). No partial matches.
std::optional<MeetingVisualModuleKind> meetingVisualModuleKindFrom(QStringView name);

} // namespace tovalit
