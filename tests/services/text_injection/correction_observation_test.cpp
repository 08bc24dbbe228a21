#include "services/text_injection/correction_observation.h"
#include "tests/services/text_injection/insertion_printers.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

const QString inserted = QStringLiteral("今天下午开会");

// Polls a quarter of a second apart, as the service does.
class CorrectionObservationTest : public ::testing::Test {
protected:
    CorrectionObservationTest()
        : observation(context(), CorrectionObservation::Timing{0.25, 3.0, 120, 24}) {}

    static CorrectionObservationContext context() {
        CorrectionObservationContext context;
        context.sessionID =
            QUuid::fromString(QStringLiteral("6F1C0C43-6D7A-4C1E-9E58-0B9C4C3C2A11"));
        context.insertedText = QStringLiteral("下午开会");
        context.insertedValue = inserted;
        context.appName = QStringLiteral("Notes");
        context.windowTitle = QStringLiteral("Plans");
        return context;
    }

    // Polls `count` times reading `value`; the events reported.
    std::vector<ObservedInsertionEditEvent> poll(const std::optional<QString> &value,
                                                 int count = 1) {
        std::vector<ObservedInsertionEditEvent> events;
        for (int index = 0; index < count; ++index) {
            now += 0.25;
            if (auto event = observation.observe(value, now))
                events.push_back(*event);
        }
        return events;
    }

    ObservedInsertionEditEvent edited(const QString &finalText) const {
        CorrectionObservationContext c = context();
        return ObservedInsertionEditEvent::stableEdited(ObservedInsertionEditSession{
            c.sessionID, c.insertedText, c.insertedValue, finalText, c.appName, c.windowTitle});
    }

    CorrectionObservation observation;
    double now = 0;
};

TEST_F(CorrectionObservationTest, UntouchedFieldIsGivenUpAfterTwentyFourPolls) {
    EXPECT_TRUE(poll(inserted, 23).empty());
    EXPECT_FALSE(observation.isFinished());
    // Unreadable polls do not count towards giving up.
    EXPECT_TRUE(poll(std::nullopt, 10).empty());
    EXPECT_FALSE(observation.isFinished());
    EXPECT_TRUE(poll(inserted).empty());
    EXPECT_TRUE(observation.isFinished());
}

TEST_F(CorrectionObservationTest, RestingEditIsReportedOnceThenItsUndo) {
    const QString fixed = QStringLiteral("今天下午三点开会");
    EXPECT_TRUE(poll(inserted, 8).empty());
    // Typing: the change is seen at the first poll, then it rests for 3 s.
    EXPECT_TRUE(poll(fixed, 12).empty());
    EXPECT_EQ(poll(fixed), std::vector{edited(fixed)});
    EXPECT_TRUE(poll(fixed, 30).empty());
    EXPECT_EQ(poll(inserted),
              std::vector{ObservedInsertionEditEvent::revertedToOriginal(context().sessionID)});
    EXPECT_TRUE(poll(inserted, 40).empty());
    EXPECT_FALSE(observation.isFinished());

    // A new resting text is reported again, under the same session.
    // A new resting text is reported again, under the same session; more
    // typing before it rests starts the wait anew.
    const QString again = QStringLiteral("今天下午四点开会");
    EXPECT_TRUE(poll(again, 12).empty());
    EXPECT_TRUE(poll(QStringLiteral("今天下午四点开会。")).empty());
    EXPECT_TRUE(poll(again, 12).empty());
    EXPECT_EQ(poll(again), std::vector{edited(again)});
}

TEST_F(CorrectionObservationTest, EditUndoneBeforeItRestedIsNeverReported) {
    EXPECT_TRUE(poll(QStringLiteral("今天下午开会了"), 4).empty());
    EXPECT_TRUE(poll(inserted, 40).empty());
    // An edit was seen, so the untouched field is no longer given up.
    EXPECT_FALSE(observation.isFinished());
}

TEST_F(CorrectionObservationTest, ReturningToAReportedTextAfterTypingIsNotReportedTwice) {
    const QString fixed = QStringLiteral("今天下午三点开会");
    poll(fixed, 12);
    ASSERT_EQ(poll(fixed).size(), 1u);
    EXPECT_TRUE(poll(QStringLiteral("今天下午三点开会吗"), 2).empty());
    EXPECT_TRUE(poll(fixed, 20).empty());
}

} // namespace
} // namespace tovalit
