#include "platform/command_runner.h"

namespace tovalit {

CommandLaunchError::CommandLaunchError(QString executable, QString reason)
    : m_executable(std::move(executable))
    , m_reason(std::move(reason)) {}

QString CommandLaunchError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("无法启动 ") + m_executable, m_reason);
}

} // namespace tovalit
