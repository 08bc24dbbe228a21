// Shows the floating panel in one of its presentations through the real
// coordinator, for looking at it: on the desktop until killed, or grabbed
// into a PNG over a light backdrop and then quit.
//
//   hud_gallery --state capsule|countdown|toast|action-toast|thinking|completion|meeting|raw|
//                       more-boards
//               [--grab out.png] [--scroll-to Y]
//               [--then STATE,STATE... [--every MS]]
//
// --then shows the further states one after another, MS apart (3000 by
// default), through the same coordinator: what a drag or a screen reader
// meets while the panel changes under it.

#include "app/floating_panel_coordinator.h"
#include "tests/support/meeting_samples.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_window_background.h"
#include "views/hud/expanded_meeting_hud_view.h"
#include "views/hud/floating_hud_container_view.h"
#include "views/hud/floating_hud_panel.h"
#include "views/hud/meeting_timeline_scroll_view.h"
#include "views/hud/recording_hud_view.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

using namespace tovalit;

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    applyTovalitAppearance(app);
    QCommandLineParser parser;
    parser.addOptions({{"state", "What to show.", "state", "capsule"},
                       {"grab", "Write a PNG of the panel and quit.", "file"},
                       {"scroll-to", "Scroll the meeting list to this offset first.", "y"},
                       {"then", "Further states to show in turn.", "states"},
                       {"every", "Milliseconds between the further states.", "ms", "3000"}});
    parser.process(app);
    const QString state = parser.value("state");

    FloatingPanelCoordinator coordinator;
    const QList<double> levels{0.2, 0.55, 0.9, 0.45, 0.3};
    MeetingHUDContent meeting{QStringLiteral("12:34"), testing::twoStageMeeting(),
                              testing::sampleSegments()};
    const auto show = [&](const QString &state) {
        if (state == "capsule") {
            coordinator.showRecording(
                levels, {}, {}, {}, {}, [] {}, [] {});
        } else if (state == "countdown") {
            coordinator.showRecording(
                levels, {}, QStringLiteral("录音已超过 1 分钟，将在 7 秒后自动进入会议纪要模式"),
                QStringLiteral("取消"), [] {}, [] {}, [] {});
        } else if (state == "toast") {
            coordinator.showToast(QStringLiteral("已撤销，本次不会加入个人词库。"), {}, 600, {});
        } else if (state == "action-toast") {
            coordinator.showToast(
                QStringLiteral(
                    "插入失败，文本已复制到剪贴板，请手动粘贴（Ctrl+V；终端中为 Ctrl+Shift+V）"),
                QStringLiteral("复制"), 600, [] {});
        } else if (state == "thinking") {
            coordinator.showThinking(QStringLiteral("整理中"), {});
        } else if (state == "completion") {
            coordinator.showCompletion(QStringLiteral("已插入"));
        } else if (state == "more-boards") {
            using Kind = MeetingVisualModuleKind;
            using testing::sampleItem;
            using testing::sampleModule;
            MeetingHUDContent boards{
                QStringLiteral("45:10"),
                {testing::sampleBlock(
                    3, QStringLiteral("风险与依据"), {},
                    {sampleModule(Kind::process, QStringLiteral("风险规避步骤"),
                                  {sampleItem(QStringLiteral("确认样本授权"),
                                              QStringLiteral("录音需经参会者同意后才能用于训练")),
                                   sampleItem(QStringLiteral("脱敏处理")),
                                   sampleItem(QStringLiteral("抽检"), QStringLiteral("每周十条"))}),
                     sampleModule(Kind::annotation, QStringLiteral("引用依据"),
                                  {sampleItem(QStringLiteral("“术语错误最影响阅读”"),
                                              QStringLiteral("来自上周用户访谈")),
                                   sampleItem(QStringLiteral("“结束后马上要看到纪要”"))}),
                     sampleModule(
                         Kind::hierarchy, QStringLiteral("目标拆解"),
                         {sampleItem(QStringLiteral("提升纪要质量")),
                          sampleItem(QStringLiteral("术语准确"), QStringLiteral("个人词库")),
                          sampleItem(QStringLiteral("结构清晰"), QStringLiteral("按话题分段")),
                          sampleItem(QStringLiteral("一分钟内生成"))})})},
                {}};
            coordinator.showRecording(
                levels, RecordingHUDDisplayState::expandedMeeting(boards), {}, {}, {}, [] {},
                [] {});
        } else if (state == "meeting" || state == "raw") {
            coordinator.showRecording(
                levels, RecordingHUDDisplayState::expandedMeeting(meeting), {}, {}, {}, [] {},
                [] {});
            if (state == "raw") {
                auto *view = coordinator.panel()->containerView()->recordingView()->meetingView();
                view->selectTab(MeetingHUDTab::rawTranscript);
            }
        } else {
            return false;
        }
        return true;
    };
    if (!show(state)) {
        std::fprintf(stderr, "unknown state\n");
        return 2;
    }
    const QStringList later = parser.value("then").split(u',', Qt::SkipEmptyParts);
    const int every = parser.value("every").toInt();
    for (qsizetype index = 0; index < later.size(); ++index) {
        QTimer::singleShot(int(index + 1) * every, &app, [&show, next = later[index]] {
            if (show(next))
                std::printf("showing %s\n", qPrintable(next));
            else
                std::fprintf(stderr, "unknown state %s\n", qPrintable(next));
            std::fflush(stdout);
        });
    }

    if (!parser.isSet("grab")) {
        std::printf("ready\n");
        std::fflush(stdout);
        return QApplication::exec();
    }
    QTimer::singleShot(600, &app, [&] {
        FloatingHUDPanel *panel = coordinator.panel();
        if (parser.isSet("scroll-to")) {
            auto *meetingView = panel->containerView()->recordingView()->meetingView();
            if (meetingView && meetingView->timeline())
                meetingView->timeline()->verticalScrollBar()->setValue(
                    parser.value("scroll-to").toInt());
        }
        const QPixmap shot = panel->grab();
        QImage canvas(shot.size() + QSize(80, 80), QImage::Format_ARGB32_Premultiplied);
        {
            QPainter painter(&canvas);
            TovalitWindowBackground backdrop;
            backdrop.resize(canvas.size());
            backdrop.render(&painter);
            painter.drawPixmap(40, 40, shot);
        }
        canvas.save(parser.value("grab"));
        QApplication::quit();
    });
    return QApplication::exec();
}
