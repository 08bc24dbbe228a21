#pragma once

#include "models/personal_lexicon_entry.h"

#include <QDateTime>
#include <QList>
#include <QSet>

// The hidden boost hot words that carry the target of a shareable
// replacement to the speech service are derived data: this rebuilds the
// whole set from the replacements on every load and save of the lexicon.
namespace tovalit::SystemManagedBoostEntries {

// The user's entries unchanged and in their order, followed by exactly one
// system-managed hot word per eligible replacement target (reusing the
// identity and history of the one it replaces). Stable: reconciling the
// result again changes nothing, so a synchronised entry stays synchronised.
QList<PersonalLexiconEntry>
reconcileSystemManagedBoostEntries(const QList<PersonalLexiconEntry> &entries,
                                   const QDateTime &now);

// Whether `candidate` is the better of two system-managed entries with one
// target: enabled over disabled, then the higher count, then a strictly
// later update.
bool shouldPreferPromotedBoostEntry(const PersonalLexiconEntry &candidate,
                                    const PersonalLexiconEntry &current);

// The existing elements followed by the added ones, each value only at its
// first occurrence.
template <typename List>
List mergeOrderedUnique(const List &existing, const List &adding) {
    using Value = typename List::value_type;
    List merged;
    QSet<Value> seen;
    for (const List *list : {&existing, &adding}) {
        for (const Value &value : *list) {
            if (seen.contains(value))
                continue;
            seen.insert(value);
            merged.append(value);
        }
    }
    return merged;
}

} // namespace tovalit::SystemManagedBoostEntries
