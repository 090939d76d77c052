// clang-format off
// A relative path down to the layer below.
#include "../../platform/Base.h"
