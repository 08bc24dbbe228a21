#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The anchor rule that stage titles and visual module titles share: the
// head of a title before a connector word, or the title without a generic
// tail word, whichever first leaves at least four characters.
namespace tovalit::MeetingTitleAnchor {

// The tails ordered by character count, longest first; equal lengths keep
// their order. Ordered once, where the tail list is defined.
QStringList longestFirst(QStringList tails);

// `text` is already normalised by the caller; `tails` come from
// longestFirst.
QString anchor(const QString &text, const QStringList &connectors, const QStringList &tails);

// Both anchors non-empty and either both at least four characters long with
// one containing the other, or a shared leading run of four characters.
bool sharesStrongStem(const QString &a, const QString &b);

} // namespace tovalit::MeetingTitleAnchor
