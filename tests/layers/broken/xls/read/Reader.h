// clang-format off
#include "../model/Model.h"
