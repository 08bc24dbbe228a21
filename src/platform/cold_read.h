#pragma once

#include <QElapsedTimer>

#include <chrono>

namespace tovalit {

// Firefox answers an accessibility client's first reads of a text it has
// not had from the page yet with nothing (no text, no caret), and the right
// answer a few dozen reads later. Such a read is asked again for a moment,
// never longer, so that an application that really has nothing there costs
// a quarter of a second at most.
inline constexpr std::chrono::milliseconds coldReadBudget{250};
inline constexpr int maxColdReads = 400;

// `value`, read again by `read` while `unanswered(value)`, within the budget.
template <typename Value, typename Read, typename Unanswered>
Value readAgainWhileUnanswered(Value value, const Read &read, const Unanswered &unanswered) {
    QElapsedTimer asking;
    asking.start();
    for (int again = 0;
         again < maxColdReads && unanswered(value) && asking.elapsed() < coldReadBudget.count();
         ++again)
        value = read();
    return value;
}

} // namespace tovalit
