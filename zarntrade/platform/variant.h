// Reading the host's VARIANT arguments as numbers.
#pragma once

#include <cstdint>

#include "include/zarntrade.h"

namespace zt {

// The value of a variant as a double by its type code; every type the table
// does not list (empty, strings, booleans, dates, currency, by-reference
// values) reads as 0.0, and so does a missing argument.
double VariantToNumber(const ZtVariant* v) noexcept;

// Truncates toward zero and keeps the low 32 bits, as the host's integer
// arguments need. NaN, infinities and values outside the signed 64-bit range
// give 0 instead of undefined behaviour.
std::int32_t TruncateToInt32(double d) noexcept;

}  // namespace zt
