// Where an archive entry may be written: its directory and name, joined as
// the archive gives them, must stay inside the destination folder.
#pragma once

#include <cstddef>

enum LzhPathResult {
    LZH_PATH_OK = 0,
    LZH_PATH_PARENT = 1,    // a ".." component (or one Windows reads as "..")
    LZH_PATH_ABSOLUTE = 2,  // starts at a root: "\dir", "/dir", "\\server\share"
    LZH_PATH_DRIVE = 3,     // a ':' anywhere: "C:\dir", "C:dir", "name:stream"
    LZH_PATH_DEVICE = 4,    // a component naming a Windows device (CON, NUL, COM1 ...)
    LZH_PATH_TOO_LONG = 5,  // the joined path does not fit the buffer
    LZH_PATH_EMPTY = 6      // no name and no directory
};

// Checks directory + name (joined directly, either separator counting) for
// anything that could resolve outside the destination folder.
LzhPathResult LzhCheckEntryPath(const char* directory, const char* name);

// True for the first byte of a Shift-JIS double-byte character, whose
// second byte may be 0x5C without being a backslash.
inline bool LzhIsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Checks the entry path, then writes folder + directory + name into `out`
// (capacity bytes including the terminator), turning every '\\' of the
// directory and name into `separator` (second bytes of double-byte
// characters are copied as they are). The folder is copied as given and
// should end with a separator unless it is empty.
LzhPathResult LzhJoinEntryPath(const char* folder, const char* directory, const char* name, char separator, char* out,
                               size_t capacity);

// A short English description of a result, for messages.
const char* LzhPathResultText(LzhPathResult result);
