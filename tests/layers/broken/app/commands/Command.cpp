// clang-format off
#include "Command.h"
// Broken, indented after the '#': the commands never reach up into the window.
#  include "../window/Window.h"
