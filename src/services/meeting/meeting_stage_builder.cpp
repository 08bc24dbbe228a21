#include "services/meeting/meeting_stage_builder.h"

#include "models/meeting_characters.h"
#include "models/meeting_node_id.h"
#include "models/meeting_stage_continuation_heuristics.h"
#include "services/meeting/meeting_tree_parser.h"
#include "support/textkit.h"

#include <QStringList>

namespace tovalit::MeetingStageBuilder {

using namespace Qt::StringLiterals;

namespace {

QStringList answerLines(QStringView answer) {
    // Every newline character (CR, LF, NEL, LS, PS …) is one UTF-16 unit.
    return MeetingCharacters::trimmedPieces(
        answer, [](QChar unit) { return textkit::isNewline(unit.unicode()); });
}

bool continuesLastStage(const QList<MeetingMinuteBlock> &blocks, const MeetingMinuteBlock &block) {
    return !blocks.isEmpty() && blocks.last().title() == block.title();
}

} // namespace

std::optional<MeetingMinuteBlock> buildMeetingBlock(QStringView answer, int index, int startSecond,
                                                    int endSecond, QStringView currentStageTitle,
                                                    int currentStageTextModuleCount,
                                                    QStringView currentWindow,
                                                    const QDateTime &createdAt) {
    const QStringList lines = answerLines(answer);
    if (lines.isEmpty() || (lines.size() == 1 && lines.first() == u"[不新增]"_s))
        return std::nullopt;
    const auto draft = MeetingTreeParser::selectMeetingStageDraft(
        MeetingTreeParser::parseMeetingStageDrafts(lines), currentStageTitle,
        currentStageTextModuleCount, currentWindow);
    if (!draft)
        return std::nullopt;
    return MeetingMinuteBlock(newMeetingNodeId(), index, draft->title, startSecond, endSecond,
                              draft->textModules, draft->visualModules, createdAt);
}

MeetingMinuteBlock normalizedMeetingContinuationBlock(const MeetingMinuteBlock &block,
                                                      const QString &currentStageTitle,
                                                      int currentStageTextModuleCount,
                                                      QStringView currentWindow, bool mustDecide) {
    const bool continues = MeetingStageContinuationHeuristics::shouldPreferCurrentStageTitle(
        block.title(), currentStageTitle, currentStageTextModuleCount, currentWindow, mustDecide);
    if (!continues || currentStageTitle == block.title())
        return block;
    return MeetingMinuteBlock(block.id(), block.index(), currentStageTitle, block.startSecond(),
                              block.endSecond(), block.textModules(), block.visualModules(),
                              block.createdAt());
}

QString meetingMergeActionDescription(const QList<MeetingMinuteBlock> &blocks,
                                      const MeetingMinuteBlock &block) {
    return continuesLastStage(blocks, block) ? u"merge_into_current_stage"_s
                                             : u"append_new_stage"_s;
}

void mergeMeetingBlock(QList<MeetingMinuteBlock> &blocks, const MeetingMinuteBlock &block) {
    if (continuesLastStage(blocks, block))
        blocks.last() = blocks.last().merging(block);
    else
        blocks.append(block);
}

} // namespace tovalit::MeetingStageBuilder
