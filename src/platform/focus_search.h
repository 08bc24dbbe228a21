#pragma once

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
    // children.
    template <typename Node, typename Key, typename States, typename Children>
    static std::optional<Node> focusedElement(const Node &start, Key key, States states,
                                              Children children, int budget) {
        std::optional<Node> focused;
        QQueue<Node> queue;
        QSet<QString> seen;
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
            for (const Node &child : children(node))
                queue.enqueue(child);
        }
        return focused;
    }
};

} // namespace tovalit
