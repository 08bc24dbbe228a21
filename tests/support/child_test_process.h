#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <chrono>

namespace tovalit::testing {

// Runs tests of this very test program in a process of its own: `filter`
// names them (DISABLED_ ones too, which is how a test is kept for a child
// only), `environment` is the child's (another session bus, say). This
// thread's event loop keeps turning meanwhile, so stand-in servers here can
// answer the child. Fails the running test, with what the child printed,
// unless the child ran at least one test and every one passed.
bool runTestsInChildProcess(const QString &filter, QProcessEnvironment environment,
                            std::chrono::milliseconds limit = std::chrono::seconds(60));

// Whether this process is such a child; a child-only test skips otherwise.
bool isChildTestProcess();

// This process's environment with its session bus at `address` instead.
QProcessEnvironment environmentOnSessionBus(const QString &address);

} // namespace tovalit::testing
