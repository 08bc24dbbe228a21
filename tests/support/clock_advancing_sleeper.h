#pragma once

#include "support/cancel_token.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tovalit::testing {

// Sleeps that end at once and move a stand-in clock on by their length, so
// the waits of the code under test pass in the test's own time. Each wait's
// length is kept, and the test may act at every wait: another program
// finishing its write, for instance.
class ClockAdvancingSleeper {
public:
    explicit ClockAdvancingSleeper(QDateTime start = QDateTime::currentDateTimeUtc())
        : m_state(std::make_shared<State>()) {
        m_state->now = std::move(start);
    }

    Sleeper sleeper() const {
        return [state = m_state](double seconds, CancelToken) {
            state->waits.push_back(seconds);
            state->now = state->now.addMSecs(qint64(seconds * 1000));
            if (state->atEachWait)
                state->atEachWait();
            return done();
        };
    }
    Clock clock() const {
        return [state = m_state] { return state->now; };
    }

    QDateTime now() const { return m_state->now; }
    void setNow(QDateTime now) { m_state->now = std::move(now); }
    // Kept as a vector: Qt compares two empty lists of numbers with a null
    // pointer handed to memcmp, which the sanitizer rejects.
    const std::vector<double> &waits() const { return m_state->waits; }
    void clearWaits() { m_state->waits.clear(); }
    void atEachWait(std::function<void()> action) { m_state->atEachWait = std::move(action); }

private:
    static QCoro::Task<void> done() { co_return; }

    struct State {
        QDateTime now;
        std::vector<double> waits;
        std::function<void()> atEachWait;
    };
    std::shared_ptr<State> m_state;
};

} // namespace tovalit::testing
