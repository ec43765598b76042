// Reading decimal numbers out of received or stored text, and writing
// 64-bit numbers as decimal text without the C runtime's printf (whose
// 64-bit conversions differ between the runtimes the programs link with).
#pragma once

#include <cstddef>
#include <cstdint>

// Decimal number with leading white space and an optional sign, read like
// atoi but saturating at the int32_t range instead of overflowing.
int32_t ParseDecimal(const char* text);

// The same, saturating at the int64_t range.
int64_t ParseDecimal64(const char* text);

// The same reading for values that must be exact (sizes and positions that
// a server sends): false when the number does not fit into int64_t, so the
// caller can refuse it; value is then 0. No digits give 0 and true.
bool ReadDecimal64(const char* text, int64_t& value);

// Room for the longest text FormatDecimal64 writes, "-9223372036854775808",
// and its terminator.
constexpr size_t kDecimal64TextSize = 21;

// Writes value as decimal text (a minus sign for negative values) into out,
// cut to capacity and terminated; returns out.
const char* FormatDecimal64(int64_t value, char* out, size_t capacity);
