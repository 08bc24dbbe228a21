#include "services/meeting/meeting_tree_parser.h"

#include "models/meeting_node_id.h"
#include "models/meeting_stage_continuation_heuristics.h"
#include "services/meeting/meeting_visual_kind_rules.h"
#include "support/textkit.h"

namespace tovalit::MeetingTreeParser {

using namespace Qt::StringLiterals;

namespace {

enum class LineTag { stage, text, visual };

struct TagSpelling {
    QString spelling;
    LineTag tag;
};

// Tried in this order; the first that begins a line with something after
// it decides what the line is.
const QList<TagSpelling> &tagSpellings() {
    static const QList<TagSpelling> spellings{
        {u"[阶段]"_s, LineTag::stage},  {u"[文本模块]"_s, LineTag::text},
        {u"[文本]"_s, LineTag::text},   {u"[图文模块]"_s, LineTag::visual},
        {u"[图文]"_s, LineTag::visual},
    };
    return spellings;
}

// Splits at the first occurrence of `separator`; both sides trimmed.
std::optional<std::pair<QString, QString>> splitOnce(const QString &text, QStringView separator) {
    const qsizetype at = text.indexOf(separator);
    if (at < 0)
        return std::nullopt;
    return std::pair{textkit::trimmed(QStringView(text).first(at)),
                     textkit::trimmed(QStringView(text).sliced(at + separator.size()))};
}

class DraftReader {
public:
    void read(const QString &line) {
        for (const TagSpelling &spelling : tagSpellings()) {
            if (!line.startsWith(spelling.spelling))
                continue;
            // Every occurrence goes, so a tag the model repeated inside the
            // line does not end up in a title.
            const QString remainder = textkit::trimmed(QString(line).remove(spelling.spelling));
            if (remainder.isEmpty())
                continue;
            apply(spelling.tag, remainder);
            return;
        }
    }

    QList<MeetingParsedStageDraft> finish() {
        flush();
        return std::move(m_drafts);
    }

private:
    void apply(LineTag tag, const QString &remainder) {
        switch (tag) {
        case LineTag::stage:
            flush();
            m_open = MeetingParsedStageDraft{remainder, {}, {}};
            return;
        case LineTag::text:
            if (!m_open)
                return;
            if (auto module = parseMeetingTextModule(
                    remainder, static_cast<int>(m_open->textModules.size()) + 1)) {
                m_open->textModules.append(std::move(*module));
            }
            return;
        case LineTag::visual:
            if (!m_open)
                return;
            if (auto module = parseMeetingVisualModule(remainder))
                m_open->visualModules.append(std::move(*module));
            return;
        }
    }

    void flush() {
        if (m_open && !m_open->title.isEmpty() && !m_open->textModules.isEmpty())
            m_drafts.append(std::move(*m_open));
        m_open.reset();
    }

    std::optional<MeetingParsedStageDraft> m_open;
    QList<MeetingParsedStageDraft> m_drafts;
};

} // namespace

QList<MeetingParsedStageDraft> parseMeetingStageDrafts(const QStringList &lines) {
    DraftReader reader;
    for (const QString &line : lines)
        reader.read(line);
    return reader.finish();
}

std::optional<MeetingTextModule> parseMeetingTextModule(QStringView text, int fallbackIndex) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    // The first separator present decides; an empty side then means no
    // module rather than trying the next separator.
    for (const QStringView separator : {u"=>", u"：", u":"}) {
        const auto parts = splitOnce(trimmed, separator);
        if (!parts)
            continue;
        if (parts->first.isEmpty() || parts->second.isEmpty())
            return std::nullopt;
        return MeetingTextModule{newMeetingNodeId(), parts->first, parts->second};
    }
    return MeetingTextModule{newMeetingNodeId(), u"阶段解读 "_s + QString::number(fallbackIndex),
                             trimmed};
}

std::optional<MeetingVisualModule> parseMeetingVisualModule(QStringView text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    QString header = u"多卡片|结构线索"_s;
    QString itemsText = trimmed;
    if (auto parts = splitOnce(trimmed, u"=>")) {
        header = std::move(parts->first);
        itemsText = std::move(parts->second);
    }

    QList<MeetingVisualItem> items;
    for (const QStringView piece : QStringView(itemsText).split(u"||")) {
        if (auto item = parseMeetingVisualItem(piece))
            items.append(std::move(*item));
    }
    auto [namedKind, title] = parseMeetingVisualModuleHeader(header);
    if (title.isEmpty() || items.isEmpty())
        return std::nullopt;

    const MeetingVisualModuleKind inferred =
        MeetingVisualKindRules::inferMeetingVisualModuleKind(title, items);
    const MeetingVisualModuleKind kind = MeetingVisualKindRules::normalizedMeetingVisualModuleKind(
        namedKind.value_or(inferred), inferred, title, items);
    return MeetingVisualModule{newMeetingNodeId(), kind, std::move(title), std::move(items)};
}

std::optional<MeetingVisualItem> parseMeetingVisualItem(QStringView text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    if (auto parts = splitOnce(trimmed, u"::")) {
        if (parts->first.isEmpty())
            return std::nullopt;
        return MeetingVisualItem{newMeetingNodeId(), std::move(parts->first),
                                 std::move(parts->second)};
    }
    return MeetingVisualItem{newMeetingNodeId(), trimmed, QString()};
}

std::pair<std::optional<MeetingVisualModuleKind>, QString>
parseMeetingVisualModuleHeader(QStringView header) {
    const QString trimmed = textkit::trimmed(header);
    if (trimmed.isEmpty())
        return {std::nullopt, QString()};
    if (auto parts = splitOnce(trimmed, u"|"))
        return {meetingVisualModuleKindFrom(parts->first), std::move(parts->second)};
    return {std::nullopt, trimmed};
}

std::optional<MeetingParsedStageDraft>
selectMeetingStageDraft(const QList<MeetingParsedStageDraft> &drafts, QStringView currentStageTitle,
                        int currentStageTextModuleCount, QStringView currentWindow) {
    if (drafts.isEmpty())
        return std::nullopt;
    if (drafts.size() == 1)
        return drafts.first();
    const QString current = textkit::trimmed(currentStageTitle);
    if (current.isEmpty())
        return drafts.first();
    for (auto draft = drafts.crbegin(); draft != drafts.crend(); ++draft) {
        if (draft->title == current ||
            MeetingStageContinuationHeuristics::shouldPreferCurrentStageTitle(
                draft->title, current, currentStageTextModuleCount, currentWindow, false)) {
            return *draft;
        }
    }
    return drafts.last();
}

} // namespace tovalit::MeetingTreeParser
