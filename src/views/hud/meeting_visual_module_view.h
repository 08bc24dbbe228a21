#pragma once

#include "models/meeting_visual_module.h"
#include "views/hud/meeting_stage_accent.h"

#include <QColor>
#include <QWidget>

namespace tovalit {

// One visual module of a meeting stage: a rounded card with the module's
// title, a badge naming its kind, and the board its kind is drawn as.
// Pure display: rebuilt whenever the module or the accent changes.
class MeetingVisualModuleView : public QWidget {
    Q_OBJECT
public:
    MeetingVisualModuleView(MeetingVisualModule module, MeetingStageAccent accent,
                            QWidget *parent = nullptr);

    const MeetingVisualModule &module() const { return m_module; }
    MeetingStageAccent accent() const { return m_accent; }
    // The board under the header; null for a module without items.
    QWidget *board() const { return m_board; }

    // The kind table.
    static QString kindSymbol(MeetingVisualModuleKind kind);
    static QColor badgeForegroundColor(MeetingVisualModuleKind kind, MeetingStageAccent accent);
    static QColor badgeFillColor(MeetingVisualModuleKind kind, MeetingStageAccent accent);
    static QColor badgeStrokeColor(MeetingVisualModuleKind kind, MeetingStageAccent accent);
    static QColor containerFillColor(MeetingVisualModuleKind kind, MeetingStageAccent accent);
    static QColor containerStrokeColor(MeetingVisualModuleKind kind, MeetingStageAccent accent);

    // Steps are drawn top to bottom for more than four items, a body of 16
    // or more characters, or a title about risks ("风险", "规避").
    static bool usesVerticalProcessLayout(const MeetingVisualModule &module);
    // The narrowest column of the cards and chips boards.
    static qreal cardColumnMinimumWidth(const MeetingVisualModule &module);
    // "排除", "待确认", "保留" or "判断", from keywords in the title and body.
    static QString decisionTag(const MeetingVisualItem &item);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    MeetingVisualModule m_module;
    MeetingStageAccent m_accent;
    QWidget *m_board = nullptr;
};

} // namespace tovalit
