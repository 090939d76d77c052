// clang-format off
# include "app/commands/Command.h"
