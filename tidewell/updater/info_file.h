// The local information file: the first "*.qvn" file of the current folder.
#pragma once

#include "tidewell/updater/updater_context.h"

enum InfoFileResult {
    kInfoFileLoaded = 0,      // read whole, magic "TDWL"
    kInfoFileAbsent = 1,      // no file, or it cannot be opened
    kInfoFileUnreadable = 2,  // size, memory or read failed: no record held
    kInfoFileWrongMagic = 3   // read whole and held, but not "TDWL"
};

// Fills the information file name and the installed record of the context.
InfoFileResult LoadInformationFile(UpdaterContext* context);
