#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// Whether a stage title the model just wrote continues the stage that is
// open at the end of the meeting tree. The model likes to re-title an
// ongoing topic (产品规划 coming back as 产品规划补充), while speakers mark
// real agenda changes with set phrases; a small additive score over the two
// titles, the size of the current stage and the recent transcript weighs
// both. The title measures here are shared with the module shaping.
namespace tovalit::MeetingStageContinuationHeuristics {

// Trimmed, lower-cased, with every run of blanks, separators and brackets
// removed: the form titles are compared in.
QString normalizedTitle(QStringView title);

// The topical head of a title: the part before a connector (的, 与, …) or
// without a generic tail (规划, 执行优化, …), when that leaves at least four
// characters.
QString topicAnchor(QStringView title);

// The leading run of characters both texts share.
QString commonNormalizedPrefix(QStringView a, QStringView b);

// The characters (grapheme clusters) of a text, as views into it: keep the
// text alive while the array is used.
std::vector<QStringView> characterArray(QStringView text);
int longestCommonSubsequenceLength(const std::vector<QStringView> &a,
                                   const std::vector<QStringView> &b);

// Common-subsequence length over the longer length; 0 when either is empty.
double titleSimilarity(QStringView a, QStringView b);

bool sharesStrongTopicStem(QStringView a, QStringView b);

// The title carries a follow-up word (补充, 进展, 同步 …).
bool hasDerivativeContinuationCue(QStringView title);

// The first 80 characters of the window hold a phrase speakers use to move
// on (下一个吧, 接下来说 …).
bool hasStrongAgendaShiftCue(QStringView currentWindow);

// True when the candidate reads as a continuation of the current stage. A
// candidate equal to the current title once normalised is not a
// continuation: there is nothing to re-title. `mustDecide` does not change
// the verdict.
bool shouldPreferCurrentStageTitle(QStringView candidateTitle, QStringView currentStageTitle,
                                   int currentStageTextModuleCount, QStringView currentWindow,
                                   bool mustDecide);

} // namespace tovalit::MeetingStageContinuationHeuristics
