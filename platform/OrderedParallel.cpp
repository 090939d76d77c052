#include "platform/OrderedParallel.h"

#include <sched.h>

namespace vorlix::platform {

namespace {

thread_local bool tSingleThreaded = false;

}  // namespace

unsigned Cores() {
    // The affinity mask, not the machine's count: `taskset` and container limits apply.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

unsigned WorkThreads() {
    return tSingleThreaded ? 1 : Cores();
}

TSingleThreaded::TSingleThreaded() : before_(tSingleThreaded) {
    tSingleThreaded = true;
}

TSingleThreaded::~TSingleThreaded() {
    tSingleThreaded = before_;
}

bool TSingleThreaded::Here() {
    return tSingleThreaded;
}

}  // namespace vorlix::platform
