#pragma once

#include <QHash>
#include <QList>
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
    // editable one it stops. `key` names an
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
        QQueue<Node> queue;
        QSet<QString> seen;
        // Each element's parent in the search, from where it was first met.
        QHash<QString, Node> cameFrom;
        const QString startName = key(start);
        queue.enqueue(start);
        int visited = 0;
        while (!queue.isEmpty() && visited < budget) {
            const Node node = queue.dequeue();
            const QString name = key(node);
            if (seen.contains(name))
                continue;
            seen.insert(name);
            ++visited;
            const std::optional<FocusStates> state = states(node);
            if (!state)
                continue;
            if (state->managesDescendants) {
                if (state->focused)
                    focused = node;
                continue;
            }
            if (state->focused) {
                focused = node;
                // A field takes the focus for its parts too (Qt marks a
                // text field's viewport focused): it is the focus.
                if (state->editable)
                    break;
                // What is left beside it holds no deeper focus.
                queue.clear();
            } else if (!state->showing && !state->visible && visited > 1) {
                continue;
            }
            for (const Node &child : children(node)) {
                if (path) {
                    const QString childName = key(child);
                    if (childName != startName && !cameFrom.contains(childName))
                        cameFrom.insert(childName, node);
                }
                queue.enqueue(child);
            }
        }
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
    // managing its descendants, none focused and editable).
    template <typename Node, typename States>
    static bool stillFinds(const QList<Node> &path, const Node &node, States states) {
        const std::optional<FocusStates> own = states(node);
        if (!own || !own->focused)
            return false;
        for (qsizetype index = 0; index < path.size(); ++index) {
            const std::optional<FocusStates> state = states(path[index]);
            if (!state || state->managesDescendants)
                return false;
            if (state->focused ? state->editable : index > 0 && !state->showing && !state->visible)
                return false;
        }
        return true;
    }
};

} // namespace tovalit
