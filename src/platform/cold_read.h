#pragma once

#include <QElapsedTimer>

#include <chrono>
#include <utility>

namespace tovalit {

// Firefox answers an accessibility client's first reads of a text it has
// not had from the page yet with nothing (no text, no caret), and the right
// answer a few dozen reads later. Such a read is asked again for a moment,
// never longer, so that an application that really has nothing there costs
// a quarter of a second at most.
inline constexpr std::chrono::milliseconds coldReadBudget{250};
inline constexpr int maxColdReads = 400;

// The moment granted to the reads asked again of one reading, shared by
// all of them: a table with three empty cells costs that moment once, not
// three times. It starts at the first read asked again.
class ColdReadBudget {
public:
    bool spent() {
        if (!m_asking.isValid())
            m_asking.start();
        return m_asking.elapsed() >= coldReadBudget.count();
    }

private:
    QElapsedTimer m_asking;
};

// `value`, read again by `read` while `unanswered(value)`, within `budget`.
template <typename Value, typename Read, typename Unanswered>
Value readAgainWhileUnanswered(Value value, const Read &read, const Unanswered &unanswered,
                               ColdReadBudget &budget) {
    for (int again = 0; again < maxColdReads && unanswered(value) && !budget.spent(); ++again)
        value = read();
    return value;
}

// The same within a moment of its own.
template <typename Value, typename Read, typename Unanswered>
Value readAgainWhileUnanswered(Value value, const Read &read, const Unanswered &unanswered) {
    ColdReadBudget budget;
    return readAgainWhileUnanswered(std::move(value), read, unanswered, budget);
}

} // namespace tovalit
