#include "views/sidebar_row.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

namespace tovalit {

namespace {
constexpr qreal horizontalPadding = 10;
constexpr qreal verticalPadding = 8;
constexpr qreal symbolFrame = 20;
constexpr qreal spacing = 8;
constexpr qreal symbolSize = 13;
constexpr qreal cornerRadius = 8;

QFont titleFont(bool selected) {
    return tovalitFont(13, selected ? QFont::DemiBold : QFont::Medium);
}
} // namespace

SidebarRow::SidebarRow(ClientWindowSection section, QWidget *parent)
    : QAbstractButton(parent)
    , m_section(section)
    , m_fillAnimation(new QVariantAnimation(this)) {
    setObjectName(QStringLiteral("SidebarRow"));
    setText(title(section));
    setAccessibleName(title(section));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_fillAnimation->setDuration(150);
    m_fillAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_fillAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_fill = value.toReal();
        update();
    });
}

void SidebarRow::setSelected(bool selected) {
    if (selected == m_isSelected)
        return;
    m_isSelected = selected;
    m_fillAnimation->stop();
    m_fillAnimation->setStartValue(m_fill);
    m_fillAnimation->setEndValue(selected ? 1.0 : 0.0);
    m_fillAnimation->start();
    update();
}

QSize SidebarRow::sizeHint() const {
    const QFontMetricsF metrics(titleFont(true));
    const qreal height = qMax(metrics.height(), TovalitSymbol::side(symbolSize));
    const qreal width =
        2 * horizontalPadding + symbolFrame + spacing + metrics.horizontalAdvance(text());
    return {int(std::ceil(width)), int(std::ceil(height + 2 * verticalPadding))};
}

void SidebarRow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    if (m_fill > 0) {
        QPainterPath shape;
        shape.addRoundedRect(box, cornerRadius, cornerRadius);
        painter.fillPath(shape, withOpacity(TovalitPalette::brand(), 0.14 * m_fill));
    }
    if (hasFocus()) {
        painter.setPen(QPen(withOpacity(TovalitPalette::brandStrong(), 0.5), 1.5));
        painter.drawRoundedRect(box.adjusted(0.75, 0.75, -0.75, -0.75), cornerRadius, cornerRadius);
    }

    const QRectF content =
        box.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const qreal side = TovalitSymbol::side(symbolSize);
    const QRectF symbolBox(content.left() + (symbolFrame - side) / 2,
                           content.center().y() - side / 2, side, side);
    TovalitSymbol::paint(painter, symbolBox, systemImage(m_section),
                         m_isSelected ? TovalitPalette::brandStrong()
                                      : TovalitPalette::secondary());

    painter.setFont(titleFont(m_isSelected));
    painter.setPen(m_isSelected ? TovalitPalette::primary() : TovalitPalette::secondary());
    const QRectF titleBox(content.left() + symbolFrame + spacing, content.top(),
                          content.width() - symbolFrame - spacing, content.height());
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace tovalit
