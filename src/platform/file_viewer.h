#pragma once

#include <QStringList>

namespace tovalit {

// The desktop's file manager: shows files with them selected, the way a
// user finds a recording or a transcript of the history. Used on the GUI
// thread; never blocks and never fails towards the caller.
class FileViewer {
public:
    virtual ~FileViewer() = default;

    // Absolute paths of files that need not exist any more.
    virtual void revealFiles(const QStringList &paths) = 0;
};

} // namespace tovalit
