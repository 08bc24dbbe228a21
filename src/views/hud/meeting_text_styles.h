#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace tovalit {

class RoundedBox;
class TovalitTextLabel;

// The text styles of the meeting timeline and its boards. Every text is
// shown verbatim and wraps onto as many lines as it needs.
namespace MeetingTextStyles {

// A wrapping plain-text label.
TovalitTextLabel *text(const QString &text, const QFont &font, const QColor &color, QWidget *parent,
                       Qt::Alignment alignment = Qt::AlignLeft);

TovalitTextLabel *moduleTitle(const QString &text, QWidget *parent);
// Cards and annotations.
TovalitTextLabel *itemTitleA(const QString &text, QWidget *parent);
// Chips.
TovalitTextLabel *itemTitleB(const QString &text, QWidget *parent);
// Vertical process, hierarchy, before/after, decision.
TovalitTextLabel *itemTitleC(const QString &text, QWidget *parent);
// Horizontal process and history: centred.
TovalitTextLabel *itemTitleD(const QString &text, QWidget *parent);
// Item bodies; null for an empty body, which shows no line at all.
TovalitTextLabel *itemBody(const QString &text, QWidget *parent, bool centred = false);

// A label on a filled rounded rectangle (a capsule for a radius below 0),
// padded, hugging its text and wrapping when it must.
RoundedBox *pill(const QString &text, const QFont &font, const QColor &textColor,
                 const QColor &fill, int horizontalPadding, int verticalPadding, qreal radius,
                 QWidget *parent);

} // namespace MeetingTextStyles

} // namespace tovalit
