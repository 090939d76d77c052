// clang-format off
#include "app/commands/Command.h"
// Broken, indented before the '#': the command line stands beside the window, not on it.
    #include "app/window/Window.h"
