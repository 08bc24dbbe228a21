#pragma once

#include <QString>

namespace tovalit::testing {

// Whether a Secret Service answers on the session bus. When it does not,
// a test that needs one calls GTEST_SKIP() with this reason, except under
// scripts/test (TOVALIT_TEST_SESSION=1), where it fails instead.
bool secretServiceAvailable();

#define TOVALIT_REQUIRE_SECRET_SERVICE()                                                           \
    do {                                                                                           \
        if (!::tovalit::testing::secretServiceAvailable()) {                                       \
            if (qEnvironmentVariable("TOVALIT_TEST_SESSION") == QLatin1String("1"))                \
                FAIL() << "no Secret Service on the session bus";                                  \
            GTEST_SKIP() << "no Secret Service on the session bus (run under scripts/test)";       \
        }                                                                                          \
    } while (false)

} // namespace tovalit::testing
