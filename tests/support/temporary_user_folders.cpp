#include "tests/support/temporary_user_folders.h"

#include "services/settings/tovalit_debug_logger.h"

#include <QDir>

namespace tovalit::testing {

TemporaryUserFolders::TemporaryUserFolders()
    : m_previousData(qgetenv("XDG_DATA_HOME"))
    , m_previousConfig(qgetenv("XDG_CONFIG_HOME"))
    , m_hadData(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    , m_hadConfig(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    if (!m_root.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    // The diagnostics log goes wherever the data folder is when a line is
    // written, on the log's own thread: what is still queued when the
    // folders change belongs to the folders it was logged in.
    TovalitDebugLogger::flush();
    QDir(m_root.path()).mkpath(QStringLiteral("data"));
    QDir(m_root.path()).mkpath(QStringLiteral("config"));
    qputenv("XDG_DATA_HOME", dataHome().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
}

TemporaryUserFolders::~TemporaryUserFolders() {
    TovalitDebugLogger::flush();
    if (m_hadData)
        qputenv("XDG_DATA_HOME", m_previousData);
    else
        qunsetenv("XDG_DATA_HOME");
    if (m_hadConfig)
        qputenv("XDG_CONFIG_HOME", m_previousConfig);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString TemporaryUserFolders::dataHome() const {
    return m_root.path() + QStringLiteral("/data");
}

QString TemporaryUserFolders::configHome() const {
    return m_root.path() + QStringLiteral("/config");
}

QString TemporaryUserFolders::dataFolder() const {
    return dataHome() + QStringLiteral("/Tovalit");
}

} // namespace tovalit::testing
