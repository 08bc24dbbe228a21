#pragma once

#include "models/personal_lexicon_entry.h"

#include <QList>

// Small rules the learners share.
namespace tovalit::lexiconlearning {

// A stable sort: the latest `updatedAt` first; entries updated at the same
// moment by display text, in list order (numbers by value).
QList<PersonalLexiconEntry> sortedNewestFirst(QList<PersonalLexiconEntry> entries);

// One more sighting; a count at the top of its range stays there instead of
// wrapping round to a negative one.
qint64 incremented(qint64 hitCount);

} // namespace tovalit::lexiconlearning
