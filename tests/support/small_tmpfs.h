#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tovalit::testing {

// A tmpfs of a few pages mounted on a fresh folder for the life of the
// object: a disk that really fills up, so that writes fail with ENOSPC from
// the kernel as on a full disk. Mounting needs root (CAP_SYS_ADMIN).
class SmallTmpfs {
public:
    explicit SmallTmpfs(int kilobytes = 256);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool isMounted() const { return m_mounted; }
    // Why mounting failed.
    QString error() const { return m_error; }
    QString path() const { return m_folder.path(); }

    // Takes all the space that is left, with a file of its own.
    void fill();
    // Gives it back.
    void release();

private:
    QTemporaryDir m_folder;
    bool m_mounted = false;
    QString m_error;
};

} // namespace tovalit::testing
