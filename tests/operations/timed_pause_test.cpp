#include "operations/timed_pause.h"

#include <gtest/gtest.h>

#include <vector>

namespace lpt {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(TimedPauseTest, WaitsAtLeastTheRequestAndProcessesEventsOnlyAfterAFailedTest) {
    SteppingClock clock(milliseconds(1));
    std::vector<TimeNs> processedAt;
    TimedPause pause(clock.Fn(), [&] { processedAt.push_back(clock.Peek()); });
    const TimeNs start = clock.Peek();
    const float seconds = 0.005f;
    pause.Pause(seconds);
    // Readings: start, then tests at +1 ... +5 ms; the first four found the deadline ahead.
    ASSERT_EQ(processedAt.size(), 4u);
    EXPECT_EQ(processedAt.front(), start + milliseconds(2)) << "never before the first test";
    EXPECT_GE(clock.Peek() - start, milliseconds(5) + milliseconds(1))
        << "the last test read at least 5 ms after the start";
}

TEST(TimedPauseTest, TheSinglePrecisionRequestIsRoundedUpNeverDown) {
    EXPECT_EQ(PauseLength(0.005f), TimeNs(5'000'000));
    EXPECT_GE(PauseLength(0.0001f), microseconds(100));
    EXPECT_EQ(PauseLength(0.0f), TimeNs(0));
    EXPECT_EQ(PauseLength(-1.0f), TimeNs(0));
    EXPECT_EQ(PauseLength(std::numeric_limits<float>::quiet_NaN()), TimeNs(0));
    EXPECT_GT(PauseLength(1e30f), TimeNs(0)) << "a huge request still gives a finite wait";
}

TEST(TimedPauseTest, ZeroOrLessReturnsAtTheFirstTestWithoutProcessingEvents) {
    SteppingClock clock(TimeNs(0));  // a clock that does not move at all
    int processed = 0;
    TimedPause pause(clock.Fn(), [&] { ++processed; });
    pause.Pause(0.0f);
    pause.Pause(-0.5f);
    EXPECT_EQ(processed, 0);
}

TEST(TimedPauseTest, TheRequestIsReadAfreshAtEveryTest) {
    SteppingClock clock(milliseconds(1));
    float seconds = 1.0f;
    int processed = 0;
    TimedPause pause(clock.Fn(), [&] {
        if (++processed == 3) seconds = 0.0f;  // the caller shortens its own request
    });
    pause.Pause(seconds);
    EXPECT_EQ(processed, 3);
}

TEST(TimedPauseTest, ANestedPauseCompletesItsOwnWaitBeforeTheOuterOneTestsAgain) {
    SteppingClock clock(milliseconds(1));
    TimedPause* self = nullptr;
    int depth = 0, maxDepth = 0;
    std::vector<TimeNs> innerEnds;
    TimedPause pause(clock.Fn(), [&] {
        if (depth == 0 && innerEnds.empty()) {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            const TimeNs begin = clock.Peek();
            self->Pause(0.005f);
            innerEnds.push_back(clock.Peek() - begin);
            --depth;
        }
    });
    self = &pause;
    const TimeNs start = clock.Peek();
    pause.Pause(0.005f);
    ASSERT_EQ(innerEnds.size(), 1u);
    EXPECT_GE(innerEnds[0], milliseconds(5)) << "the nested wait is not shortened";
    EXPECT_EQ(maxDepth, 1);
    // The outer deadline passed during the inner wait: it ends at its next test.
    EXPECT_LE(clock.Peek() - start, milliseconds(5) + milliseconds(4));
}

TEST(TimedPauseTest, CancelEndsTheWaitAtOnceAndEveryLaterOne) {
    SteppingClock clock(microseconds(100));
    TimedPause* self = nullptr;
    int processed = 0;
    TimedPause pause(clock.Fn(), [&] {
        if (++processed == 2) self->Cancel();
    });
    self = &pause;
    EXPECT_THROW(pause.Pause(10.0f), OperationCancelled);
    EXPECT_EQ(processed, 2);
    EXPECT_THROW(pause.Pause(0.0f), OperationCancelled);
    EXPECT_TRUE(pause.Cancelled());
}

TEST(TimedPauseTest, OnTheRealClockA5msPauseIsNeverShorter) {
    int idles = 0;
    TimedPause pause(SteadyNow, nullptr, [&](TimeNs remaining) {
        ++idles;
        EXPECT_GT(remaining, TimeNs(0));
    });
    for (int i = 0; i < 5; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        pause.Pause(0.005f);
        EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(5));
    }
    EXPECT_GT(idles, 0);
}

}  // namespace
}  // namespace lpt

namespace lpt {
namespace {

TEST(TimedPauseSettleTest, OutsideAPauseSettleReturnsAtOnce) {
    SteppingClock clock(std::chrono::milliseconds(1));
    TimedPause pause(clock.Fn(), nullptr);
    const TimeNs before = clock.Peek();
    pause.Settle();
    EXPECT_EQ(clock.Peek(), before) << "not even a clock reading";
    EXPECT_FALSE(pause.Waiting());
}

TEST(TimedPauseSettleTest, InsideAPauseSettleWaitsForItsDeadlineWithoutProcessingEvents) {
    SteppingClock clock(std::chrono::microseconds(100));
    TimedPause* self = nullptr;
    int processed = 0;
    TimeNs settledAt{0}, start{0};
    TimedPause pause(clock.Fn(), [&] {
        if (++processed == 1) {
            EXPECT_TRUE(self->Waiting());
            self->Settle();
            settledAt = clock.Peek();
        }
    });
    self = &pause;
    start = clock.Peek();
    pause.Pause(0.005f);
    EXPECT_EQ(processed, 1) << "Settle processed nothing, and the outer wait was over after it";
    EXPECT_GE(settledAt - start, std::chrono::milliseconds(5));
    EXPECT_FALSE(pause.Waiting());
}

}  // namespace
}  // namespace lpt
