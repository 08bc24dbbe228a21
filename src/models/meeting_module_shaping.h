#pragma once

#include "models/meeting_text_module.h"
#include "models/meeting_visual_item.h"
#include "models/meeting_visual_module.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Keeps a meeting stage within what the panel has room for. The model writes
// many, long and repetitive modules, and merging a continuation adds more:
// bodies are cut into sentence fragments, de-duplicated and condensed;
// modules that name the same thing are merged; every list is capped, the
// surplus folded into one summary module or item that names what was left
// out. A stage with text but no board gets one made from its text.
// Every function is pure. A block's constructor runs them on every rebuild
// (re-titling, merging), so condensing must not drift on its own output.
namespace tovalit::MeetingModuleShaping {

// --- Text modules ---------------------------------------------------------------

// The sentence pieces of a body: split at 。！？； (a line feed counts as
// 。), trimmed, empty pieces dropped.
QStringList narrativeFragments(QStringView text);
// Trimmed, empty ones dropped, the first of each case-insensitive value kept.
QStringList dedupedStrings(const QStringList &strings);
// At most 96 characters (then "..."), closed with "。" unless it already
// ends in a sentence mark.
QString finalizedTextBody(const QString &text);
// The first two fragments, then "另含N点补充" for the rest. A summary
// fragment left by an earlier condensing counts as the N points it names.
QString condensedTextBody(const QString &text);
// The first fragment, finished.
QString primaryTextSentence(const QString &text);
// Both bodies as one: the longer when one holds the other, else the
// fragments of both, de-duplicated.
QString mergedNarrative(const QString &first, const QString &second);
// Trims titles, condenses bodies, drops empty modules and merges modules
// whose titles are equal ignoring case (the first keeps its id and title).
QList<MeetingTextModule> resolvedTextModules(const QList<MeetingTextModule> &modules);
// At most three: the third absorbs the rest, naming what it dropped.
QList<MeetingTextModule> limitedTextModules(const QList<MeetingTextModule> &modules);
QString condensedOverflowTextBody(const QString &anchorBody, const QStringList &overflowTitles);

// --- Visual modules -------------------------------------------------------------

// At most 28 characters, then "...".
QString truncatedVisualBody(const QString &body);
// Trims, truncates, drops untitled items and repeats of the same title and
// body (ignoring case).
QList<MeetingVisualItem> resolvedVisualItems(const QList<MeetingVisualItem> &items);
// Seven or more items become six: the first five and a summary item.
QList<MeetingVisualItem> limitedVisualItems(const QList<MeetingVisualItem> &items);
QString visualTitleAnchor(QStringView title);
int visualTitleLongestCommonSubsequenceLength(const std::vector<QStringView> &a,
                                              const std::vector<QStringView> &b);
bool sharesStrongVisualTitleStem(QStringView a, QStringView b);
bool hasDerivativeVisualTitleCue(QStringView title);
// Shapes each module's items and merges modules that name the same thing
// (equal titles, near-equal titles of the same kind, or a shared stem with
// a follow-up word); the merged module takes the later kind.
QList<MeetingVisualModule> dedupedVisualModules(const QList<MeetingVisualModule> &modules);
QString overflowVisualModuleTitle(QStringView stageTitle);
QString fallbackVisualModuleTitle(QStringView stageTitle);
// One item per dropped module, naming its first two item titles; earlier
// summaries are not summarised again.
QList<MeetingVisualItem> aggregatedVisualItems(const QList<MeetingVisualModule> &modules);
// At most three: the third becomes a summary board of the rest.
QList<MeetingVisualModule> limitedVisualModules(const QList<MeetingVisualModule> &modules,
                                                QStringView stageTitle);
// The shaped boards, or, when none survives and there is text, one board
// made from the first three text modules.
QList<MeetingVisualModule> ensuredVisualModules(const QList<MeetingVisualModule> &modules,
                                                QStringView stageTitle,
                                                const QList<MeetingTextModule> &textModules);

} // namespace tovalit::MeetingModuleShaping
