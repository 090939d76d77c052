// The screen's resolution, which row heights and column widths in pixels depend on. The
// window sets it once from the screen before any workbook is read; without a screen it is
// 96 dots per inch.
#pragma once

namespace vorlix::platform {

int ScreenDpi();
void SetScreenDpi(int dotsPerInch);

}  // namespace vorlix::platform
