// Basic types under the names the launcher's code uses throughout.
#pragma once

#include <cstdint>

using BOOL = bool;
using int32 = std::int32_t;
using uint16 = std::uint16_t;
using uint32 = std::uint32_t;
using TEXT = char;
using STRPTR = char *;
using CONST_STRPTR = const char *;
