#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace tovalit::testing {

// True under scripts/test, where a missing desktop piece is a failure.
inline bool inTestSession() {
    return qgetenv("TOVALIT_TEST_SESSION") == "1";
}

// Inside scripts/test a missing piece of the environment fails the test;
// run by hand without it, the test is skipped with the reason.
#define TOVALIT_REQUIRE_ENVIRONMENT(condition, reason)                                             \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            if (::tovalit::testing::inTestSession())                                               \
                FAIL() << (reason);                                                                \
            else                                                                                   \
                GTEST_SKIP() << (reason);                                                          \
        }                                                                                          \
    } while (false)

// The X server of the session scripts/test starts.
#define TOVALIT_REQUIRE_DISPLAY()                                                                  \
    TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("DISPLAY"),                           \
                                "needs the desktop session of scripts/test")

} // namespace tovalit::testing
