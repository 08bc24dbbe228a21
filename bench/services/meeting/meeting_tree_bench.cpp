#include "models/meeting_node_id.h"
#include "services/meeting/meeting_stage_builder.h"
#include "services/meeting/meeting_tree_parser.h"

#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

using namespace Qt::StringLiterals;
using namespace tovalit;

const QDateTime createdAt = QDateTime::fromSecsSinceEpoch(1'740'000'000, Qt::UTC);

// Forty distinct, narrow stage titles; every fifth re-titles the one before
// it with a follow-up word, which the continuation score folds back in.
QString stageTitle(int stage) {
    static const QStringList objects{u"预算"_s, u"招聘"_s, u"上线"_s, u"客服"_s,
                                     u"渠道"_s, u"定价"_s, u"安全"_s, u"合规"_s};
    static const QStringList angles{u"评审"_s, u"排期"_s, u"复盘"_s, u"分工"_s, u"指标"_s};
    if (stage % 5 == 4)
        return stageTitle(stage - 1) + u"补充"_s;
    return objects[stage % objects.size()] + angles[stage / objects.size()];
}

// An answer in the tree language with 40 stages, each with two text modules
// of the length the prompt asks for and one board of three items.
QStringList fortyStageLines() {
    QStringList lines;
    for (int stage = 0; stage < 40; ++stage) {
        lines
            << u"[阶段] "_s + stageTitle(stage)
            << u"[文本模块] 约束矛盾 => 讨论从对话连续性转向信息获取能力，因为模型即使能继续聊，"
               u"也仍然缺乏独立查资料的能力。第二句补充说明。第三句再展开。"_s
            << u"[文本模块] 推进方向 => 让程序代替人工去搜索和回填信息，把人工协助包装成稳定的系统能力。"_s
            << u"[图文模块] 多卡片|"_s + stageTitle(stage) +
                   u"分工 => 人::负责提出需求与判断结果 || 程序::负责执行检索与工具调用 || "
                   u"模型::负责组织回答与生成内容"_s;
    }
    return lines;
}

// Every draft of the answer built into a block, re-titled when it continues
// the open stage, and merged into or appended to the tree.
QList<MeetingMinuteBlock>
treeFrom(const QList<MeetingTreeParser::MeetingParsedStageDraft> &drafts) {
    QList<MeetingMinuteBlock> blocks;
    int second = 0;
    for (const auto &draft : drafts) {
        const QString currentTitle = blocks.isEmpty() ? QString() : blocks.last().title();
        const int currentCount =
            blocks.isEmpty() ? 0 : static_cast<int>(blocks.last().textModules().size());
        const MeetingMinuteBlock built(newMeetingNodeId(), static_cast<int>(blocks.size()) + 1,
                                       draft.title, second, second + 30, draft.textModules,
                                       draft.visualModules, createdAt);
        MeetingStageBuilder::mergeMeetingBlock(
            blocks, MeetingStageBuilder::normalizedMeetingContinuationBlock(
                        built, currentTitle, currentCount, {}, false));
        second += 30;
    }
    return blocks;
}

// The whole 40-stage answer parsed and merged stage by stage into a tree.
void BM_ParseAndMergeFortyStageAnswer(benchmark::State &state) {
    const QStringList lines = fortyStageLines();
    qsizetype stages = 0;
    for (auto _ : state) {
        const auto blocks = treeFrom(MeetingTreeParser::parseMeetingStageDrafts(lines));
        stages = blocks.size();
        benchmark::DoNotOptimize(blocks);
    }
    state.counters["stages_in_tree"] = static_cast<double>(stages);
}
BENCHMARK(BM_ParseAndMergeFortyStageAnswer)->Unit(benchmark::kMicrosecond);

// One summary tick on a meeting that already has its tree: the same answer
// split at every newline, parsed, the continuing draft chosen, built,
// re-titled and merged.
void BM_TickWithFortyStageAnswer(benchmark::State &state) {
    const QString answer = fortyStageLines().join(u"\r\n"_s);
    const QList<MeetingMinuteBlock> tree =
        treeFrom(MeetingTreeParser::parseMeetingStageDrafts(fortyStageLines()));
    const QString currentTitle = tree.last().title();
    const int currentCount = static_cast<int>(tree.last().textModules().size());
    for (auto _ : state) {
        QList<MeetingMinuteBlock> blocks = tree;
        auto block = MeetingStageBuilder::buildMeetingBlock(
            answer, static_cast<int>(blocks.size()) + 1, 1200, 1230, currentTitle, currentCount,
            u"我们继续说这个"_s, createdAt);
        MeetingStageBuilder::mergeMeetingBlock(
            blocks, MeetingStageBuilder::normalizedMeetingContinuationBlock(
                        *block, currentTitle, currentCount, u"我们继续说这个"_s, false));
        benchmark::DoNotOptimize(blocks);
    }
}
BENCHMARK(BM_TickWithFortyStageAnswer)->Unit(benchmark::kMicrosecond);

} // namespace
