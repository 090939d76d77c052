#include "platform/OrderedParallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
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

// Turns open on the calling thread in order, each after the piece before was taken and
// before its own is taken; inline, each piece is made at its turn, so that a turn can
// keep a piece from being made at all.
TEST(OrderedParallelTest, TurnsComeInOrderAndInlineBeforeThePieceIsMade) {
    for (const unsigned threads : {1u, 3u}) {
        std::mutex mutex;
        std::vector<std::string> events;
        const auto note = [&](const std::string& event) {
            std::lock_guard lock(mutex);
            events.push_back(event);
        };
        const std::thread::id caller = std::this_thread::get_id();
        TOrderedSteps<std::size_t> steps;
        steps.Turn = [&](std::size_t i) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            note("turn " + std::to_string(i));
        };
        steps.Make = [&](std::size_t i) {
            note("make " + std::to_string(i));
            return i;
        };
        steps.Take = [&](std::size_t i, std::size_t& piece) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_EQ(piece, i);
            note("take " + std::to_string(i));
            return true;
        };
        OrderedParallel(6, threads, steps);
        ASSERT_EQ(events.size(), 18u) << threads;
        std::vector<std::string> calling;  // the turns and takes, in the order they came
        for (std::size_t e = 0; e < events.size(); ++e) {
            if (events[e].rfind("make", 0) == 0) {
                // Every piece is made before it is taken.
                const std::string taken = "take" + events[e].substr(4);
                EXPECT_EQ(std::find(events.begin(), events.begin() + static_cast<long>(e), taken),
                          events.begin() + static_cast<long>(e))
                    << threads;
            } else {
                calling.push_back(events[e]);
            }
        }
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(calling[2 * i], "turn " + std::to_string(i)) << threads;
            EXPECT_EQ(calling[2 * i + 1], "take " + std::to_string(i)) << threads;
            if (threads == 1) {
                EXPECT_EQ(events[3 * i + 1], "make " + std::to_string(i));
            }
        }
    }

    // A turn that raises ends the run: inline, its piece is never made.
    std::vector<std::size_t> made;
    TOrderedSteps<int> steps;
    steps.Turn = [](std::size_t i) {
        if (i == 2) throw std::runtime_error("turn 2");
    };
    steps.Make = [&made](std::size_t i) {
        made.push_back(i);
        return 0;
    };
    steps.Take = [](std::size_t, int&) { return true; };
    EXPECT_THROW(OrderedParallel(5, 1, steps), std::runtime_error);
    EXPECT_EQ(made, (std::vector<std::size_t>{0, 1}));
}

// A run that ends early tells the pieces under way to stop before it waits for them, and
// no piece it made outlives it; a run that ends normally needs no stop.
TEST(OrderedParallelTest, AnEarlyEndStopsThePiecesUnderWayAndDropsTheRest) {
    // Counts the pieces alive.
    struct TCounted {
        explicit TCounted(std::shared_ptr<int> alive) : alive_(std::move(alive)) {}
        std::shared_ptr<int> alive_;
    };
    for (const bool raise : {false, true}) {
        std::atomic<bool> stopped{false};
        std::atomic<int> made{0};
        int stops = 0;
        const auto alive = std::make_shared<int>(0);
        TOrderedSteps<TCounted> steps;
        steps.Make = [&](std::size_t i) {
            ++made;
            // Every piece but the first runs until told to stop (at most a few seconds, so
            // that a run that never tells them fails instead of hanging).
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (i > 0 && !stopped && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return TCounted(alive);
        };
        steps.Take = [&](std::size_t, TCounted&) -> bool {
            if (raise) throw std::logic_error("taken");
            return false;
        };
        steps.Stop = [&] {
            ++stops;
            stopped = true;
        };
        const auto start = std::chrono::steady_clock::now();
        if (raise) {
            EXPECT_THROW(OrderedParallel(100, 4, steps), std::logic_error);
        } else {
            OrderedParallel(100, 4, steps);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << raise;
        EXPECT_EQ(stops, 1) << raise;
        EXPECT_LE(made.load(), 1 + 2 * 4) << raise;
        EXPECT_EQ(alive.use_count(), 1) << raise;  // no piece is left
    }

    int stops = 0;
    TOrderedSteps<int> whole;
    whole.Make = [](std::size_t i) { return static_cast<int>(i); };
    whole.Take = [](std::size_t, int&) { return true; };
    whole.Stop = [&stops] { ++stops; };
    OrderedParallel(50, 4, whole);
    EXPECT_EQ(stops, 0);
}

// The run's own threads make their pieces on one thread each: a run inside a piece is
// made inline on that thread, while the calling thread keeps every core.
TEST(OrderedParallelTest, RunsInsideAPieceAreInline) {
    std::atomic<int> nestedOnOtherThreads{0};
    std::atomic<int> spread{0};
    OrderedParallel<int>(
        8, 4,
        [&](std::size_t) {
            if (WorkThreads() != 1) ++spread;
            const std::thread::id self = std::this_thread::get_id();
            OrderedParallel<int>(
                16, Cores() + 2,
                [&](std::size_t) {
                    if (std::this_thread::get_id() != self) ++nestedOnOtherThreads;
                    return 0;
                },
                [](std::size_t, int&) { return true; });
            return 0;
        },
        [](std::size_t, int&) { return true; });
    EXPECT_EQ(spread.load(), 0);
    EXPECT_EQ(nestedOnOtherThreads.load(), 0);
    EXPECT_EQ(WorkThreads(), Cores());
}
