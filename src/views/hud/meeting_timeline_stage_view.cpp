#include "views/hud/meeting_timeline_stage_view.h"

#include "views/design/tovalit_fonts.h"
#include "views/hud/meeting_text_module_view.h"
#include "views/hud/meeting_text_styles.h"
#include "views/hud/meeting_visual_module_view.h"
#include "views/hud/painted_view.h"
#include "views/hud/rounded_box.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tovalit {

namespace {

// The module column: a 2-pixel rail on its leading edge and, for every
// card, a tick from the card's edge back to the rail.
class ModuleBlock : public QWidget {
public:
    ModuleBlock(QColor line, QWidget *parent)
        : QWidget(parent)
        , m_line(std::move(line)) {
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        if (height() <= 0 || children().isEmpty())
            return;
        QPainter painter(this);
        painter.fillRect(QRectF(0, 0, 2, height()), m_line);
        for (QObject *child : children()) {
            auto *card = qobject_cast<QWidget *>(child);
            if (!card || card->isHidden())
                continue;
            // Text cards leave 2 pixels between tick and rail; boards run
            // their tick up to it.
            const qreal tick = qobject_cast<MeetingVisualModuleView *>(card) ? 18 : 16;
            const QRect frame = card->geometry();
            painter.fillRect(QRectF(frame.left() - tick, frame.center().y(), tick, 2), m_line);
        }
    }

private:
    QColor m_line;
};

} // namespace

MeetingTimelineStageView::MeetingTimelineStageView(MeetingMinuteBlock block,
                                                   MeetingStageAccent accent, bool showsConnector,
                                                   QWidget *parent)
    : QWidget(parent)
    , m_block(std::move(block))
    , m_accent(accent)
    , m_showsConnector(showsConnector) {
    setObjectName(QStringLiteral("MeetingTimelineStageView"));
    setAttribute(Qt::WA_TranslucentBackground);
    using namespace MeetingStageAccents;

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    const QColor dot = tint(accent);
    const QColor connector = line(accent);
    m_rail = new PaintedView(
        14, 0,
        [this, dot, connector](QPainter &painter, const QRectF &bounds) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(dot);
            painter.drawEllipse(QRectF(1, 6, 12, 12));
            if (m_showsConnector && bounds.height() > 22)
                painter.fillRect(QRectF(6, 22, 2, bounds.height() - 22), connector);
        },
        this);
    m_rail->setObjectName(QStringLiteral("stageRail"));
    m_rail->setProperty("showsConnector", showsConnector);
    // The rail stretches to the stage's full height.
    m_rail->setMinimumHeight(18);
    m_rail->setMaximumHeight(QWIDGETSIZE_MAX);
    m_rail->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    row->addWidget(m_rail);

    auto *column = new QVBoxLayout;
    column->setSpacing(12);
    RoundedBox *title = MeetingTextStyles::pill(m_block.title(), tovalitFont(15, QFont::Bold),
                                                tint(accent), fill(accent), 12, 8, 10, this);
    title->setObjectName(QStringLiteral("stageTitle"));
    column->addWidget(title, 0, Qt::AlignLeft);

    m_moduleBlock = new ModuleBlock(line(accent), this);
    m_moduleBlock->setObjectName(QStringLiteral("moduleBlock"));
    auto *modules = new QVBoxLayout(m_moduleBlock);
    modules->setContentsMargins(20, 0, 0, 0);
    modules->setSpacing(12);
    for (const MeetingTextModule &module : m_block.textModules())
        modules->addWidget(new MeetingTextModuleView(module, accent, m_moduleBlock));
    for (const MeetingVisualModule &module : m_block.visualModules())
        modules->addWidget(new MeetingVisualModuleView(module, accent, m_moduleBlock));
    QSizePolicy blockPolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    blockPolicy.setHeightForWidth(true);
    m_moduleBlock->setSizePolicy(blockPolicy);
    if (m_block.textModules().isEmpty() && m_block.visualModules().isEmpty())
        m_moduleBlock->hide();
    column->addWidget(m_moduleBlock);
    row->addLayout(column, 1);

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void MeetingTimelineStageView::setShowsConnector(bool shows) {
    if (shows == m_showsConnector)
        return;
    m_showsConnector = shows;
    m_rail->setProperty("showsConnector", shows);
    m_rail->update();
}

} // namespace tovalit
