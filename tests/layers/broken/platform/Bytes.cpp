// clang-format off
// Broken: a name in angle brackets from the source root, into a layer above.
#include <xls/model/Model.h>
#include <vector>
