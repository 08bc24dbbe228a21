#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit::testing {

// Points XDG_DATA_HOME and XDG_CONFIG_HOME at fresh empty folders for the
// life of the object, and puts the previous values back afterwards. The
// diagnostics log's lines queued before either change are written first,
// into the folders they were logged in.
class TemporaryUserFolders {
public:
    TemporaryUserFolders();
    ~TemporaryUserFolders();
    TemporaryUserFolders(const TemporaryUserFolders &) = delete;
    TemporaryUserFolders &operator=(const TemporaryUserFolders &) = delete;

    QString dataHome() const;
    QString configHome() const;
    // dataHome() + "/Tovalit".
    QString dataFolder() const;

private:
    QTemporaryDir m_root;
    QByteArray m_previousData;
    QByteArray m_previousConfig;
    bool m_hadData;
    bool m_hadConfig;
};

// A gtest fixture that gives every test its own user folders.
class WithTemporaryUserFolders : public ::testing::Test {
protected:
    TemporaryUserFolders folders;
};

} // namespace tovalit::testing
