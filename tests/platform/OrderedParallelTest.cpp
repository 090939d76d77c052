#include "platform/OrderedParallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vorlix::platform;

namespace {

// Runs pieces that take uneven time, so that later ones are often made first.
std::vector<std::size_t> TakenOrder(std::size_t count, unsigned threads, std::size_t stopAfter) {
    std::vector<std::size_t> taken;
    OrderedParallel<std::string>(
        count, threads,
        [](std::size_t i) {
            volatile std::size_t spin = 0;
            for (std::size_t k = 0; k < (i % 3) * 20000; ++k)
                spin = spin + k;
            return std::to_string(i);
        },
        [&](std::size_t i, std::string& piece) {
            EXPECT_EQ(piece, std::to_string(i));
            taken.push_back(i);
            return taken.size() < stopAfter;
        });
    return taken;
}

}  // namespace

TEST(OrderedParallelTest, PiecesAreTakenInOrderWhateverTheThreads) {
    for (const unsigned threads : {1u, 2u, 4u, 16u}) {
        const std::vector<std::size_t> taken = TakenOrder(100, threads, 1000);
        ASSERT_EQ(taken.size(), 100u) << threads;
        for (std::size_t i = 0; i < taken.size(); ++i)
            ASSERT_EQ(taken[i], i) << threads;
    }
    EXPECT_TRUE(TakenOrder(0, 4, 1000).empty());
    // A false from take ends the run there.
    EXPECT_EQ(TakenOrder(100, 4, 10).size(), 10u);
}

TEST(OrderedParallelTest, ErrorsComeOutAtTheirTurnAfterTheThreadsEnd) {
    for (const unsigned threads : {1u, 3u}) {
        std::vector<std::size_t> taken;
        std::atomic<int> made = 0;
        EXPECT_THROW(OrderedParallel<int>(
                         50, threads,
                         [&](std::size_t i) {
                             ++made;
                             if (i == 7) throw std::runtime_error("piece 7");
                             return static_cast<int>(i);
                         },
                         [&](std::size_t i, int&) {
                             taken.push_back(i);
                             return true;
                         }),
                     std::runtime_error);
        // Everything before the failing piece was taken, nothing after it; only a few
        // pieces were made ahead.
        EXPECT_EQ(taken.size(), 7u) << threads;
        EXPECT_LE(made.load(), 7 + 1 + 2 * 3) << threads;

        taken.clear();
        EXPECT_THROW(OrderedParallel<int>(
                         50, threads, [](std::size_t i) { return static_cast<int>(i); },
                         [&](std::size_t i, int&) -> bool {
                             if (i == 3) throw std::logic_error("take 3");
                             taken.push_back(i);
                             return true;
                         }),
                     std::logic_error);
        EXPECT_EQ(taken.size(), 3u) << threads;
    }
}

TEST(OrderedParallelTest, SingleThreadedScopeKeepsWorkOnItsThread) {
    EXPECT_GE(WorkThreads(), 1u);
    {
        TSingleThreaded single;
        EXPECT_EQ(WorkThreads(), 1u);
        {
            TSingleThreaded nested;
            EXPECT_EQ(WorkThreads(), 1u);
        }
        EXPECT_EQ(WorkThreads(), 1u);
    }
    EXPECT_EQ(WorkThreads(), Cores());
    EXPECT_LE(Cores(), std::max(1u, std::thread::hardware_concurrency()));
}
