// clang-format off
#include "../commands/Command.h"
