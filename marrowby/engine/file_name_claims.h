// Which download writes which local file. Every download that has a file
// name holds it here, so no two downloads ever write one file: a new name
// that another download holds, or that names an existing file, becomes
// "name (2).ext", "name (3).ext" and so on. Process-wide, behind a lock of
// its own: the GUI thread and every job's worker thread call it.
#pragma once

#include <stddef.h>

// The owner (a download) holds name in folder, in place of any name it held.
// Several owners may hold one name when a list says so; none is renamed.
void HoldFileName(const void* owner, const char* folder, const char* name);

// The owner holds no name any more.
void ReleaseFileName(const void* owner);

// Chooses and holds a name for a new file of owner in folder: proposed when
// it is free, else the first free numbered variant. A name is free when no
// other owner holds it and no file or folder of that name exists (letter
// case does not count). out: capacity bytes with the terminator; a numbered
// name is cut to fit it.
void ClaimFreeFileName(const void* owner, const char* folder, const char* proposed, char* out, size_t capacity);
