#include "views/hud/thinking_hud_view.h"

#include "views/design/accessible_panel.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/capsule_progress_track.h"
#include "views/hud/hud_layout.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tovalit {

namespace {

// A still, full-width capsule in one colour.
class StillCapsuleBar : public QWidget {
public:
    StillCapsuleBar(QColor color, QWidget *parent)
        : QWidget(parent)
        , m_color(std::move(color)) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedHeight(4);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
    }

private:
    QColor m_color;
};

// The status is one element to a screen reader, a label named with the
// status: the title inside it would have the status read twice, and the
// icon and bar say nothing of their own.
bool presentStatusAsOneElement() {
    static const bool presented = [] {
        presentPanelAsOneElement(ThinkingHUDView::staticMetaObject, QAccessible::StaticText);
        return true;
    }();
    return presented;
}

} // namespace

ThinkingHUDView::ThinkingHUDView(QString text, bool showsProgress, bool isError, QWidget *parent)
    : TovalitGlassSurface((presentStatusAsOneElement(), TovalitGlassLevel::hud()), parent)
    , m_text(std::move(text))
    , m_showsProgress(showsProgress)
    , m_isError(isError)
    , m_icon(new TovalitSymbolView(leadingIcon(showsProgress, isError), 12,
                                   leadingColor(showsProgress, isError), this))
    , m_title(new TovalitTextLabel(m_text, tovalitFont(13, QFont::DemiBold),
                                   TovalitPalette::primary(), this)) {
    setObjectName(QStringLiteral("ThinkingHUDView"));
    setCastsShadow(false);
    m_title->setWraps(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(8);
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addWidget(m_title, 1, Qt::AlignVCenter);
    // The padded content stands in the middle of the fixed panel.
    column->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    setFixedSize(HUDLayout::thinkingPanelSize.toSize());
    setAccessibleName(m_text);
    rebuildBar();
}

QString ThinkingHUDView::leadingIcon(bool showsProgress, bool isError) {
    if (showsProgress)
        return QStringLiteral("sparkles");
    return isError ? QStringLiteral("exclamationmark.circle.fill")
                   : QStringLiteral("checkmark.circle.fill");
}

QColor ThinkingHUDView::leadingColor(bool showsProgress, bool isError) {
    return isError && !showsProgress ? TovalitPalette::red() : TovalitPalette::brandStrong();
}

void ThinkingHUDView::setStatus(const QString &text, bool showsProgress, bool isError) {
    const bool barChanged = showsProgress != m_showsProgress || isError != m_isError;
    m_text = text;
    m_showsProgress = showsProgress;
    m_isError = isError;
    m_title->setText(text);
    m_icon->setSymbol(leadingIcon(showsProgress, isError), leadingColor(showsProgress, isError));
    setAccessibleName(text);
    if (barChanged)
        rebuildBar();
}

void ThinkingHUDView::rebuildBar() {
    auto *column = static_cast<QVBoxLayout *>(layout());
    for (QWidget *old : {static_cast<QWidget *>(m_track), m_stillBar}) {
        if (old) {
            column->removeWidget(old);
            old->hide();
            old->deleteLater();
        }
    }
    m_track = nullptr;
    m_stillBar = nullptr;
    QWidget *bar = nullptr;
    if (m_showsProgress) {
        m_track = new CapsuleProgressTrack(this);
        bar = m_track;
    } else {
        m_stillBar =
            new StillCapsuleBar(withOpacity(leadingColor(m_showsProgress, m_isError), 0.24), this);
        bar = m_stillBar;
    }
    // The bar sits under the title row, between the two stretches.
    column->insertWidget(2, bar);
    bar->show();
}

} // namespace tovalit
