#include "views/design/tovalit_segmented_control.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_tokens.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

namespace tovalit {

TovalitSegmentedControl::TovalitSegmentedControl(const QStringList &titles, QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this)) {
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    const QString sheet =
        QStringLiteral("QPushButton { background: transparent; border: none; border-radius: 5px;"
                       " padding: 3px 12px; color: %1; }"
                       "QPushButton:hover:!checked { background: rgba(255, 255, 255, 110); }"
                       "QPushButton:checked { background: white; color: %2;"
                       " border: 1px solid rgba(0, 0, 0, 20); }")
            .arg(TovalitPalette::primary().name(QColor::HexArgb),
                 TovalitPalette::primary().name(QColor::HexArgb));
    for (qsizetype index = 0; index < titles.size(); ++index) {
        auto *button = new QPushButton(titles[index], this);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setFont(TovalitTokens::FontStyle::bodyStrong());
        button->setStyleSheet(sheet);
        button->setCursor(Qt::PointingHandCursor);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(button, int(index));
        row->addWidget(button);
    }
    m_group->setExclusive(true);
    if (!titles.isEmpty())
        m_group->button(0)->setChecked(true);
    connect(m_group, &QButtonGroup::idClicked, this, &TovalitSegmentedControl::currentIndexChanged);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

int TovalitSegmentedControl::currentIndex() const {
    return m_group->checkedId();
}

void TovalitSegmentedControl::setCurrentIndex(int index) {
    if (QAbstractButton *button = m_group->button(index))
        button->setChecked(true);
}

QPushButton *TovalitSegmentedControl::segment(int index) const {
    return qobject_cast<QPushButton *>(m_group->button(index));
}

int TovalitSegmentedControl::count() const {
    return int(m_group->buttons().size());
}

void TovalitSegmentedControl::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(TovalitPalette::black(0.06));
    painter.drawRoundedRect(QRectF(rect()), 7, 7);
}

} // namespace tovalit
