#include "platform/OrderedParallel.h"

namespace vorlix::platform {

namespace {

thread_local bool tSingleThreaded = false;

}  // namespace

unsigned WorkThreads() {
    if (tSingleThreaded) return 1;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

TSingleThreaded::TSingleThreaded() : before_(tSingleThreaded) {
    tSingleThreaded = true;
}

TSingleThreaded::~TSingleThreaded() {
    tSingleThreaded = before_;
}

}  // namespace vorlix::platform
