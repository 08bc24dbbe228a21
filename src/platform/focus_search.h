#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QQueue>
#include <QSet>
#include <QString>

#include <optional>

namespace tovalit {

// What the focus search needs to know of one element's states.
struct FocusStates {
    bool focused = false;
    // Hidden subtrees hold no focus worth finding. An element is hidden
    // when it is neither showing nor visible: GTK 4 says the containers of
    // a window are not showing, though they are visible and hold its focus.
    bool showing = true;
    bool visible = true;
    // Lists and tables that manage their own descendants can hold
    // thousands of them: never entered.
    bool managesDescendants = false;
    bool editable = false;
    // How many children an editable element that manages its descendants
    // holds, where it says (only those are asked): a document that shows
    // only the paragraphs on screen is entered, a sheet of a million cells
    // is not.
    qint64 childCount = -1;

    // Whether the search goes below an element that manages its
    // descendants.
    bool entered() const {
        return !managesDescendants ||
               (editable && childCount >= 0 && childCount <= maxManagedChildren);
    }
    static constexpr qint64 maxManagedChildren = 200;

    // How soon the search looks below the element. The controls of a tool
    // bar, menu bar or status bar seldom keep the typing focus, and a word
    // processor has hundreds of them nearer its window than its page: they
    // are looked at as if they lay a few levels deeper. What an editable
    // document holds (the paragraphs on screen) is looked at before the
    // rest.
    enum class Below { inTurn, first, later };
    Below below = Below::inTurn;

    // How soon the search looks below an element of `role` (the bus's
    // role name) that is `editable` or not.
    static Below belowRole(const QString &role, bool editable) {
        if (role == QLatin1String("tool bar") || role == QLatin1String("menu bar") ||
            role == QLatin1String("status bar") || role == QLatin1String("statusbar"))
            return Below::later;
        if (editable && role.startsWith(QLatin1String("document")))
            return Below::first;
        return Below::inTurn;
    }
    // How many levels deeper the controls of a bar count.
    static constexpr int laterLevels = 4;
    // How many levels sooner what an editable document holds counts: before
    // anything else.
    static constexpr int firstLevels = 1 << 16;
};

// Where the keyboard focus is, in an accessibility tree that marks the
// focused element with a state instead of naming it: breadth-first through
// what is not hidden below a window.
class FocusSearch {
public:
    FocusSearch() = delete;

    // The innermost element in the focused state at or below `start`,
    // visiting at most `budget` elements: below a focused element the
    // search goes on to its focused descendant, as a browser marks the
    // page's document focused and the text area in it too; below an
    // editable one it stops. A focused element that is no field and holds
    // nothing (a status-bar button that hands its focus on to the editor
    // beside it, marked focused with it) is taken only when no focused
    // field is found elsewhere. `key` names an
    // element (equal for two handles of one element), `states` reads its
    // states (nothing when it does not answer), `children` lists its
    // children. `path`, when given, receives the elements the search went
    // through to the one it found: `start` first, the found one's parent
    // last.
    template <typename Node, typename Key, typename States, typename Children>
    static std::optional<Node> focusedElement(const Node &start, Key key, States states,
                                              Children children, int budget,
                                              QList<Node> *path = nullptr) {
        std::optional<Node> focused;
        bool focusedIsField = false;
        bool focusedIsLeaf = false;
        // The first focused element found, when the search went on past it.
        std::optional<Node> passedOver;
        // What is left to look at, by the level it counts at, each level in
        // the order met: breadth first, but for what a bar or a document
        // holds (FocusStates::below).
        QMap<int, QQueue<Node>> queue;
        QHash<QString, int> levels;
        const auto levelOf = [&levels, &key](const Node &node) { return levels.value(key(node)); };
        // What lay beside a focused element when the search went below it,
        // in the order it was to be looked at.
        QList<Node> aside;
        QSet<QString> seen;
        // Each element's parent in the search, from where it was first met.
        QHash<QString, Node> cameFrom;
        const QString startName = key(start);
        queue[0].enqueue(start);
        int visited = 0;
        while (visited < budget) {
            if (queue.isEmpty()) {
                if (aside.isEmpty() || !focused || focusedIsField || !focusedIsLeaf)
                    break;
                if (!passedOver)
                    passedOver = focused;
                focused.reset();
                for (const Node &node : std::as_const(aside))
                    queue[levelOf(node)].enqueue(node);
                aside.clear();
            }
            const auto nearest = queue.begin();
            const Node node = nearest->dequeue();
            if (nearest->isEmpty())
                queue.erase(nearest);
            const QString name = key(node);
            if (seen.contains(name))
                continue;
            seen.insert(name);
            ++visited;
            const std::optional<FocusStates> state = states(node);
            if (!state)
                continue;
            if (state->managesDescendants) {
                if (state->focused) {
                    focused = node;
                    focusedIsField = false;
                    focusedIsLeaf = false;
                }
                if (!state->entered())
                    continue;
            } else if (state->focused) {
                focused = node;
                focusedIsField = state->editable;
                // A field takes the focus for its parts too (Qt marks a
                // text field's viewport focused): it is the focus.
                if (state->editable)
                    break;
                // What is left beside it holds no deeper focus, unless it
                // turns out to hold none itself.
                QList<Node> pending;
                for (QQueue<Node> &level : queue)
                    pending.append(level);
                queue.clear();
                aside = pending + aside;
            } else if (!state->showing && !state->visible && visited > 1) {
                continue;
            }
            const QList<Node> below = children(node);
            if (state->focused && !state->managesDescendants)
                focusedIsLeaf = below.isEmpty();
            const int level =
                levelOf(node) + 1 +
                (state->below == FocusStates::Below::later   ? FocusStates::laterLevels
                 : state->below == FocusStates::Below::first ? -FocusStates::firstLevels
                                                             : 0);
            for (const Node &child : below) {
                const QString childName = key(child);
                if (path && childName != startName && !cameFrom.contains(childName))
                    cameFrom.insert(childName, node);
                if (!levels.contains(childName))
                    levels.insert(childName, level);
                queue[levels.value(childName)].enqueue(child);
            }
        }
        if (passedOver && !focusedIsField)
            focused = passedOver;
        if (path && focused) {
            // Every element was first met from one met before it, so the
            // way back ends at the start.
            path->clear();
            for (auto up = cameFrom.constFind(key(*focused)); up != cameFrom.constEnd();
                 up = cameFrom.constFind(key(*up)))
                path->prepend(*up);
        }
        return focused;
    }

    // Whether the search that found `node` through `path` (as
    // focusedElement() gives it) would still end at it, from the states
    // alone: `node` is in the focused state, and the elements of `path`
    // still let the search through to it (none hidden but the start, none
    // managing descendants it does not enter, none focused and editable).
    template <typename Node, typename States>
    static bool stillFinds(const QList<Node> &path, const Node &node, States states) {
        const std::optional<FocusStates> own = states(node);
        if (!own || !own->focused)
            return false;
        for (qsizetype index = 0; index < path.size(); ++index) {
            const std::optional<FocusStates> state = states(path[index]);
            if (!state || !state->entered())
                return false;
            if (state->focused ? state->editable : index > 0 && !state->showing && !state->visible)
                return false;
        }
        return true;
    }
};

} // namespace tovalit
