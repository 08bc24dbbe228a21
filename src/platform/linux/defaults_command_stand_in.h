#pragma once

#include "platform/command_runner.h"

#include <memory>
#include <mutex>

namespace tovalit {

class DefaultsStore;

// Linux has no "/usr/bin/defaults" and no system action for the Fn key.
// This runner answers the two commands the application gives that tool,
// reading and writing "AppleFnUsageType" of "com.apple.HIToolbox", from a
// value kept in our own settings file (0, "do nothing", until something is
// written; which is what the Fn key does on Linux). Every other command
// fails the way the tool would, and every other program cannot be started.
class DefaultsCommandStandIn final : public CommandRunner {
public:
    // Over the application's standard settings file.
    DefaultsCommandStandIn();
    explicit DefaultsCommandStandIn(std::shared_ptr<DefaultsStore> store);

    CommandOutput run(const QString &executable, const QStringList &arguments) override;

    static constexpr const char *executablePath = "/usr/bin/defaults";
    // Where the value lives in our settings ([com.apple.HIToolbox] in the
    // file).
    static constexpr const char *storageKey = "com.apple.HIToolbox/AppleFnUsageType";

private:
    std::mutex m_mutex;
    std::shared_ptr<DefaultsStore> m_store;
};

} // namespace tovalit
