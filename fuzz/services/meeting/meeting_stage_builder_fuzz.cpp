// Meeting tick answers: the tree-language parser, the choice of a stage,
// the continuation re-titling and the merge into the stages so far. The
// merge does what its description says, and a block written back in the
// tree language (as the next request shows it) reads as the same stage.

#include "fuzz_checks.h"
#include "services/meeting/meeting_stage_builder.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace tovalit;
using namespace Qt::StringLiterals;

namespace {

const QDateTime tickTime = QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC);

void checkBlock(const MeetingMinuteBlock &block) {
    fuzz::requireValidUtf16(block.title(), "stage title");
    fuzz::requireValidUtf16(block.promptFragment(), "stage fragment");
    fuzz::requireValidUtf16(block.promptOutlineFragment(), "stage outline");
    FUZZ_CHECK(!block.textModules().isEmpty());
    FUZZ_CHECK(block.startSecond() >= 0 && block.endSecond() >= block.startSecond());
}

QStringList words(const MeetingMinuteBlock &block) {
    QStringList words{block.title()};
    for (const MeetingTextModule &module : block.textModules())
        words << module.title << module.body;
    for (const MeetingVisualModule &module : block.visualModules()) {
        words << module.title;
        for (const MeetingVisualItem &item : module.items)
            words << item.title << item.body;
    }
    return words;
}

// The stage's frame: its title and the titles of its texts.
QStringList frame(const MeetingMinuteBlock &block) {
    QStringList words{block.title()};
    for (const MeetingTextModule &module : block.textModules())
        words << module.title;
    return words;
}

// The tree language has no escapes: only texts free of its marks can be
// written in it and read back.
bool speaksPlainly(const MeetingMinuteBlock &block) {
    for (const QString &word : words(block)) {
        for (const QChar mark : {u'[', u']', u'|', u':', u'：', u'=', u'>'}) {
            if (word.contains(mark))
                return false;
        }
    }
    return true;
}

QString text(FuzzedDataProvider &input, size_t limit) {
    return QString::fromStdString(input.ConsumeRandomLengthString(limit));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QString window = text(input, 64);
    const bool mustDecide = input.ConsumeBool();
    const QString firstAnswer = text(input, 512);
    const QString answer = QString::fromStdString(input.ConsumeRemainingBytesAsString());

    QList<MeetingMinuteBlock> blocks;
    if (const auto first = MeetingStageBuilder::buildMeetingBlock(firstAnswer, 1, 0, 30, {}, 0,
                                                                  window, tickTime)) {
        checkBlock(*first);
        blocks.append(*first);
    }
    const QString currentTitle = blocks.isEmpty() ? QString() : blocks.last().title();
    const int currentCount = blocks.isEmpty() ? 0 : int(blocks.last().textModules().size());

    auto block = MeetingStageBuilder::buildMeetingBlock(
        answer, int(blocks.size()) + 1, 30, 60, currentTitle, currentCount, window, tickTime);
    if (!block)
        return 0;
    checkBlock(*block);

    if (speaksPlainly(*block)) {
        const auto reread = MeetingStageBuilder::buildMeetingBlock(
            block->promptFragment(), block->index(), block->startSecond(), block->endSecond(), {},
            0, {}, block->createdAt());
        // Shaping works anew at every reading: a long text keeps its first
        // points and counts the rest ("另含N点补充"), boards are folded into
        // boards whose titles they derive from, cut to their limits and given
        // a layout inferred from what they hold. So only the stage's frame
        // must read back the same.
        FUZZ_CHECK_TEXT(reread && frame(*reread) == frame(*block),
                        block->promptFragment() + u"\n-- read back as --\n"_s +
                            (reread ? reread->promptFragment() : u"nothing"_s));
    }

    block = MeetingStageBuilder::normalizedMeetingContinuationBlock(
        *block, currentTitle, currentCount, window, mustDecide);
    checkBlock(*block);
    const QString action = MeetingStageBuilder::meetingMergeActionDescription(blocks, *block);
    const QList<MeetingMinuteBlock> before = blocks;
    MeetingStageBuilder::mergeMeetingBlock(blocks, *block);
    if (action == u"merge_into_current_stage") {
        FUZZ_CHECK(blocks.size() == before.size() && blocks.last().id() == before.last().id());
    } else {
        FUZZ_CHECK(action == u"append_new_stage");
        FUZZ_CHECK(blocks.size() == before.size() + 1 && blocks.last() == *block);
    }
    checkBlock(blocks.last());
    return 0;
}
