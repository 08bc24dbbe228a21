#pragma once

#include "platform/file_viewer.h"

#include <QString>

#include <functional>

namespace tovalit {

// Asks the file manager over the session bus (org.freedesktop.FileManager1
// ShowItems) to open the files' folders with the files selected; when no
// file manager answers, opens the folder of the first file with the
// desktop's default handler instead.
class FreedesktopFileViewer final : public FileViewer {
public:
    using Launcher = std::function<bool(const QString &program, const QStringList &arguments)>;

    FreedesktopFileViewer();
    explicit FreedesktopFileViewer(Launcher launcher);

    void revealFiles(const QStringList &paths) override;

private:
    Launcher m_launcher;
};

} // namespace tovalit
