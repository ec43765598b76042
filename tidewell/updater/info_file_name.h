// The name under which the fetched record is written as the new information
// file when none is known: the last part of a URL that the server sent,
// cleaned like a downloaded file's name.
#pragma once

#include <cstddef>

#include "tidewell/updater/update_record.h"

// known (the found or given information file name) when it is not empty;
// otherwise the part after the last '/' or '\' of the update-information
// URL (format 2) or the archive URL (format 1), made safe to use in the
// current folder. Returns 0, or 1 when no name can be formed (another
// format, or a URL whose last part is empty or nothing but dots and
// spaces); out is then empty.
int InformationFileName(RecordView fetched, const char* known, char* out, size_t capacity);
