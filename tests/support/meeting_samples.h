#pragma once

#include "models/meeting_hud_content.h"

#include <QDateTime>
#include <QUuid>

namespace tovalit::testing {

// A visual item or module with fresh identities, for building meeting
// trees in tests and in the panel gallery.
inline MeetingVisualItem sampleItem(const QString &title, const QString &body = {}) {
    return {QUuid::createUuid(), title, body};
}

inline MeetingVisualModule sampleModule(MeetingVisualModuleKind kind, const QString &title,
                                        QList<MeetingVisualItem> items) {
    return {QUuid::createUuid(), kind, title, std::move(items)};
}

inline MeetingMinuteBlock sampleBlock(int index, const QString &title,
                                      QList<MeetingTextModule> text,
                                      QList<MeetingVisualModule> visual) {
    return MeetingMinuteBlock(QUuid::createUuid(), index, title, (index - 1) * 30, index * 30,
                              std::move(text), std::move(visual),
                              QDateTime::fromSecsSinceEpoch(1772845501, Qt::UTC));
}

// Two stages of a product meeting with six kinds of board.
inline QList<MeetingMinuteBlock> twoStageMeeting() {
    using Kind = MeetingVisualModuleKind;
    MeetingMinuteBlock first = sampleBlock(
        1, QStringLiteral("需求背景与目标"),
        {{QUuid::createUuid(), QStringLiteral("核心判断"),
          QStringLiteral(
              "团队确认本季度先解决长录音的整理效率，会议纪要需要在结束后一分钟内生成。")}},
        {sampleModule(Kind::cards, QStringLiteral("关键指标"),
                      {sampleItem(QStringLiteral("生成时延"), QStringLiteral("结束后 60 秒内")),
                       sampleItem(QStringLiteral("覆盖场景"), QStringLiteral("周会与评审")),
                       sampleItem(QStringLiteral("准确率"), QStringLiteral("术语错误率低于 2%"))}),
         sampleModule(Kind::process, QStringLiteral("推进步骤"),
                      {sampleItem(QStringLiteral("收集样本")),
                       sampleItem(QStringLiteral("标注术语")),
                       sampleItem(QStringLiteral("灰度上线"))}),
         sampleModule(
             Kind::decision, QStringLiteral("决策记录"),
             {sampleItem(QStringLiteral("采用增量摘要"), QStringLiteral("每 30 秒更新一次")),
              sampleItem(QStringLiteral("离线模型待确认"), QStringLiteral("成本未评估"))})});
    MeetingMinuteBlock second = sampleBlock(
        2, QStringLiteral("方案对比与风险"),
        {{QUuid::createUuid(), QStringLiteral("讨论要点"),
          QStringLiteral("对比了两种分段策略，倾向按话题切分，同时保留时间兜底。")}},
        {sampleModule(Kind::chips, QStringLiteral("涉及模块"),
                      {sampleItem(QStringLiteral("录音")), sampleItem(QStringLiteral("识别")),
                       sampleItem(QStringLiteral("纪要")), sampleItem(QStringLiteral("词库"))}),
         sampleModule(Kind::beforeAfter, QStringLiteral("分段策略"),
                      {sampleItem(QStringLiteral("按时间切分"), QStringLiteral("简单但会截断话题")),
                       sampleItem(QStringLiteral("按话题切分"), QStringLiteral("更贴近讨论结构"))}),
         sampleModule(Kind::history, QStringLiteral("里程碑"),
                      {sampleItem(QStringLiteral("三月"), QStringLiteral("原型")),
                       sampleItem(QStringLiteral("四月"), QStringLiteral("内测")),
                       sampleItem(QStringLiteral("五月"), QStringLiteral("发布"))})});
    return {first, second};
}

inline QList<MeetingASRSegment> sampleSegments() {
    return {{QUuid::createUuid(),
             QStringLiteral("我们先看一下这个季度的目标，主要是长录音的整理效率。"), false},
            {QUuid::createUuid(), QStringLiteral("纪要最好在会议结束后一分钟内出来。"), false},
            {QUuid::createUuid(), QStringLiteral("分段的话我倾向按话题切"), true}};
}

} // namespace tovalit::testing
