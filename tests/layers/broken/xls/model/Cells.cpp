// clang-format off
// Broken: a relative path up into the reader.
#include "../read/Reader.h"
#include "Model.h"
