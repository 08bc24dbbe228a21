#pragma once

#include <QByteArray>
#include <QString>
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

// The desktop whose session the test runs in, as its XDG_CURRENT_DESKTOP
// names it ("KDE", "GNOME"; a list may name several).
inline bool onDesktop(const char *desktop) {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .split(u':')
        .contains(QLatin1String(desktop), Qt::CaseInsensitive);
}

// A test about what one desktop alone does is skipped in the sessions of
// the others, saying why.
#define TOVALIT_ONLY_ON_DESKTOP(desktop, reason)                                                   \
    do {                                                                                           \
        if (!::tovalit::testing::onDesktop(desktop))                                               \
            GTEST_SKIP() << "only in " << (desktop) << "'s session: " << (reason);                 \
    } while (false)

// The X server of the session scripts/test starts.
#define TOVALIT_REQUIRE_DISPLAY()                                                                  \
    TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("DISPLAY"),                           \
                                "needs the desktop session of scripts/test")

} // namespace tovalit::testing
