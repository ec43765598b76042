// SHA-256 of a whole file through the system's CNG, read in pieces.
#pragma once

#include "tidewell/updater/signing.h"

bool Sha256File(const char* path, uint8_t digest[kSha256Size]);
