#pragma once

#include <QHash>
#include <QList>

#include <utility>

// Two writers' versions of one list of items that each carry an identity,
// both changed from the same earlier version (the base): what each changed
// is kept. For an item both changed, each in its own way, "ours" wins and
// the merge says so, for the caller to keep the other version findable.
namespace tovalit::threewaymerge {

template <typename Item>
struct MergedList {
    QList<Item> items;
    // Some item was changed (or removed) by both, differently.
    bool conflicted = false;
};

// Ours in their order, each as the merge resolves it, then the items only
// theirs added, in their order. An item removed by one side and left alone
// by the other is gone; one removed by one side and changed by the other
// is a conflict. With a duplicated identity the first item counts.
template <typename Item, typename IdOf>
MergedList<Item> mergeById(const QList<Item> &base, const QList<Item> &theirs,
                           const QList<Item> &ours, IdOf idOf) {
    using Key = std::decay_t<decltype(idOf(std::declval<const Item &>()))>;
    const auto index = [&idOf](const QList<Item> &items) {
        QHash<Key, const Item *> byId;
        for (const Item &item : items) {
            if (!byId.contains(idOf(item)))
                byId.insert(idOf(item), &item);
        }
        return byId;
    };
    const QHash<Key, const Item *> baseById = index(base);
    const QHash<Key, const Item *> theirsById = index(theirs);
    const QHash<Key, const Item *> oursById = index(ours);

    MergedList<Item> merged;
    for (const Item &our : ours) {
        const Key key = idOf(our);
        if (oursById.value(key) != &our)
            continue;
        const Item *before = baseById.value(key);
        const Item *their = theirsById.value(key);
        if (!their) {
            if (before && *before == our)
                continue; // they removed it, we left it alone
            merged.conflicted = merged.conflicted || before;
            merged.items.append(our);
        } else if (before && *before == our) {
            merged.items.append(*their);
        } else {
            merged.conflicted =
                merged.conflicted || !(*their == our || (before && *before == *their));
            merged.items.append(our);
        }
    }
    for (const Item &their : theirs) {
        const Key key = idOf(their);
        if (theirsById.value(key) != &their || oursById.contains(key))
            continue;
        const Item *before = baseById.value(key);
        if (!before)
            merged.items.append(their); // they added it
        else if (!(*before == their))
            merged.conflicted = true; // we removed what they changed
    }
    return merged;
}

// One value that is not merged further: ours when we changed it, else
// theirs.
template <typename Value>
Value mergeWhole(const Value &base, const Value &theirs, const Value &ours) {
    return ours == base ? theirs : ours;
}

} // namespace tovalit::threewaymerge
