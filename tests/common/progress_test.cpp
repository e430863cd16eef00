#include "common/progress.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kestrane;

namespace {

class RecordingPresenter : public ProgressPresenter {
public:
    void start(const std::string& title) override { titles.push_back(title); }
    void update(int permille) override { updates.push_back(permille); }
    void stop() override { ++stops; }
    std::vector<std::string> titles;
    std::vector<int> updates;
    int stops = 0;
};

void work_for(Progress& progress, std::chrono::milliseconds duration, uint64_t total)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    const uint64_t steps = 100;
    for (uint64_t i = 0; i < steps; ++i) {
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + duration / steps);
        progress.advance(total / steps);
    }
    std::this_thread::sleep_until(end);
}

} // namespace

TEST(Progress, QuickWorkShowsNothing)
{
    RecordingPresenter seen;
    {
        Progress progress("Wrapping a", 1000, &seen);
        work_for(progress, std::chrono::milliseconds(150), 1000);
    }
    EXPECT_TRUE(seen.titles.empty());
    EXPECT_EQ(seen.stops, 0);
}

TEST(Progress, LongWorkIsShownAfterHalfASecondAndEnds)
{
    RecordingPresenter seen;
    {
        Progress progress("Encrypting big.bin", 1000, &seen);
        work_for(progress, std::chrono::milliseconds(900), 1000);
    }
    ASSERT_EQ(seen.titles, std::vector<std::string>{"Encrypting big.bin"});
    ASSERT_FALSE(seen.updates.empty());
    EXPECT_GE(seen.updates.front(), 400); // nothing before half a second of 0.9 s
    EXPECT_TRUE(std::is_sorted(seen.updates.begin(), seen.updates.end()));
    EXPECT_LE(seen.updates.back(), 1000);
    EXPECT_LT(seen.updates.size(), 20u); // a few updates, not one per step
    EXPECT_EQ(seen.stops, 1);
}

TEST(Progress, UnknownAmountIsReportedAsBusy)
{
    RecordingPresenter seen;
    {
        Progress progress("Archiving web", 0, &seen);
        for (int i = 0; i < 70; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            progress.tick();
        }
    }
    ASSERT_FALSE(seen.updates.empty());
    EXPECT_EQ(seen.updates.front(), -1);
}
