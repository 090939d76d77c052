// clang-format off
  #include "xls/read/Reader.h"
