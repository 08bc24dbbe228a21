#pragma once

#include <QString>

namespace tovalit {

// What looking at a path found. Only a name the system says does not exist
// (no such entry, or a parent that is a plain file) is absent. A folder on
// the way that cannot be searched, a loop of links, a network folder that
// refuses access for a while: each hides whatever is there, and taking that
// for "nothing there" would let the next write replace a file never seen.
struct PathPresence {
    enum class Kind { absent, present, unknown };
    // Whether a symbolic link is something in its own right (a dangling one
    // included) or stands for what it names.
    enum class Links { own, follow };

    static PathPresence of(const QString &path, Links links);

    Kind kind = Kind::absent;
    // Why the path could not be looked at; empty unless unknown.
    QString problem;
};

} // namespace tovalit
