// The file-system side of applying an update: the staging folder inside the
// install folder, folders along a path and removing a tree of our own.
#pragma once

#include <windows.h>

#include <cstddef>

#include "tidewell/updater/updater_context.h"

// Folder, directory and name of an entry: 519 characters and the terminator.
constexpr size_t kApplyPathSize = 520;
// Paths below the staging folder, which adds its own part to the above.
constexpr size_t kStagePathSize = 560;

// The staging folder's name inside the install folder. No archive entry may
// start with it.
extern const char kStageFolderName[];

// Where an update is prepared: every entry is decoded below fresh, and a file
// that an entry replaces waits below aside until the whole update is in place.
struct StageFolders {
    char install[kFolderSize];   // empty (the current folder) or ending in '\'
    char root[kStagePathSize];   // install + "~tidewell-update\"
    char fresh[kStagePathSize];  // root + "new\"
    char aside[kStagePathSize];  // root + "old\"
};

// Fills folders for the install folder (empty, or ending in '\' or '/').
// False when the install folder is too long.
bool SetStageFolders(const char* install, StageFolders* folders);

// Creates every missing folder along path: those before its last separator,
// and with whole also the path itself. Failures are left to whatever uses
// the folders next. A double-byte character's second byte is never taken for
// a separator.
void CreateFoldersAlong(const char* path, bool whole);

// Deletes the folder (ending in '\') with everything in it; a link inside is
// removed, never followed. Returns true when the folder is gone.
bool RemoveTree(const char* folder);

bool IsFolder(const char* path);

// A Windows file time from the 64-bit value an archive entry stores.
FILETIME FileTimeOf(unsigned long long value);
