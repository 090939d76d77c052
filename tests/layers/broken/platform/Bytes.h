// clang-format off
// Beside its includer, and from the source root: the layer itself.
#include "Base.h"
#include "platform/Base.h"
