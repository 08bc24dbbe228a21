#pragma once

#include <chrono>
#include <optional>

namespace tovalit {

// Firefox answers an accessibility client's first reads of a text it has
// not had from the page yet with nothing (no text, no caret, no element
// focused in the page), and the right answer a few dozen reads later. Such
// a read is asked again for a moment, never longer, so that an application
// that really has nothing there costs that moment at most.
//
// Each job of the accessibility thread (one capture, one look at the field
// before a paste) owns one deadline and hands it to whatever reads under
// it: the focus search looked at again, the editor's own text, the caret
// and the paragraphs read again all ask within it, so that however many
// steps find a cold answer, the job waits for the page once. The moment
// starts at the first read asked again.
class ColdReadDeadline {
public:
    static constexpr std::chrono::milliseconds moment{750};
    // Reads asked again by one step at most, whatever the clock says.
    static constexpr int maxReads = 400;

    using Clock = std::chrono::steady_clock::time_point (*)();

    // `clock`: the steady clock when null; tests let time pass as the reads
    // go.
    explicit ColdReadDeadline(Clock clock = nullptr);
    ColdReadDeadline(const ColdReadDeadline &) = delete;
    ColdReadDeadline &operator=(const ColdReadDeadline &) = delete;

    // Whether the moment is over; the first question starts it.
    bool passed();

private:
    Clock m_clock;
    std::optional<std::chrono::steady_clock::time_point> m_end;
};

// `value`, read again by `read` while `unanswered(value)`, until the
// deadline.
template <typename Value, typename Read, typename Unanswered>
Value readAgainWhileUnanswered(Value value, const Read &read, const Unanswered &unanswered,
                               ColdReadDeadline &deadline) {
    for (int again = 0;
         again < ColdReadDeadline::maxReads && unanswered(value) && !deadline.passed(); ++again)
        value = read();
    return value;
}

} // namespace tovalit
