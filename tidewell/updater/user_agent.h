// The user agent sent with both requests of a run.
#pragma once

#include <cstddef>

#include "tidewell/updater/update_record.h"

constexpr size_t kUserAgentSize = 256;

// "<product name> Tidewell/2.0" with the product name of the installed
// record (cut so that the whole text fits), or "Tidewell/2.0" when no record
// is installed.
void BuildUserAgent(RecordView installed, char* out, size_t capacity);
