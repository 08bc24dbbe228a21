#pragma once

#include "platform/file_viewer.h"

#include <QList>

namespace tovalit {

// Writes down what it was asked to show.
class RecordingFileViewer final : public FileViewer {
public:
    void revealFiles(const QStringList &paths) override { m_revealed.append(paths); }
    QList<QStringList> revealed() const { return m_revealed; }

private:
    QList<QStringList> m_revealed;
};

} // namespace tovalit
