// clang-format off
