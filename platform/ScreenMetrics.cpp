#include "platform/ScreenMetrics.h"

namespace vorlix::platform {

namespace {
int gScreenDpi = 96;
}

int ScreenDpi() {
    return gScreenDpi;
}

void SetScreenDpi(int dotsPerInch) {
    gScreenDpi = dotsPerInch > 0 ? dotsPerInch : 96;
}

}  // namespace vorlix::platform
