// Reading decimal numbers out of received text.
#pragma once

#include <cstdint>

// Decimal number with leading white space and an optional sign, read like
// atoi but saturating at the int32_t range instead of overflowing.
int32_t ParseDecimal(const char* text);
