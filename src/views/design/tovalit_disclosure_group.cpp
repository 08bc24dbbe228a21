#include "views/design/tovalit_disclosure_group.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_tokens.h"

#include <QIcon>
#include <QToolButton>
#include <QVBoxLayout>

namespace tovalit {

TovalitDisclosureGroup::TovalitDisclosureGroup(const QString &label, QWidget *content,
                                               QWidget *parent)
    : QWidget(parent)
    , m_toggle(new QToolButton(this))
    , m_content(content) {
    m_toggle->setText(label);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setFont(TovalitTokens::FontStyle::captionStrong());
    m_toggle->setCursor(Qt::PointingHandCursor);
    m_toggle->setAutoRaise(true);
    m_toggle->setIconSize(QSize(10, 10));
    m_toggle->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; color: %1; }")
                                .arg(TovalitPalette::secondary().name(QColor::HexArgb)));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_toggle, 0, Qt::AlignLeft);
    content->setParent(this);
    column->addWidget(content);
    connect(m_toggle, &QToolButton::clicked, this, [this] {
        setExpanded(!m_expanded);
        Q_EMIT expandedChanged(m_expanded);
    });
    refresh();
}

void TovalitDisclosureGroup::setExpanded(bool expanded) {
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    refresh();
}

void TovalitDisclosureGroup::refresh() {
    QIcon chevron;
    const QString name =
        m_expanded ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right");
    for (qreal ratio : {1.0, 2.0})
        chevron.addPixmap(TovalitSymbol::pixmap(name, 10, TovalitPalette::secondary(), ratio));
    m_toggle->setIcon(chevron);
    m_toggle->setAccessibleDescription(m_expanded ? QStringLiteral("已展开")
                                                  : QStringLiteral("已收起"));
    m_content->setVisible(m_expanded);
}

} // namespace tovalit
