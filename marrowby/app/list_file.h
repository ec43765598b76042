// List files (".wrg", key=value lines shared with ReGet) and plain URL lists.
#pragma once

// Appends the file's records to the download list. A UTF-16 file with a byte
// order mark is read converted. Returns 1 when the path is empty or the file
// cannot be opened, 2 when it was not read because it cannot be read whole
// as a list (a NUL byte, a line longer than a list line, not a list, UTF-16
// that does not convert), else 0 (also after running out of memory).
int ReadListFile(const char* path);

// The list file that listPath names was refused when read: it is never
// written over. The session's list is saved only under a name the person
// chooses, which ends this.
bool ListFileRefused();
void SetListFileRefused(bool refused);

// True when the file opens but ReadListFile would refuse it; false for a
// list, an empty file, or one that cannot be opened.
bool FileIsNotAList(const char* path);

// Writes the whole list in chain order through a temporary file that replaces
// the old one only when complete. Returns 1 when the path is empty or the file
// cannot be written (the old file is then unchanged), else 0.
int WriteListFile(const char* path);

// Adds every http URL of a text file (one per line) to the list. Returns 1
// when the path is empty or the file cannot be opened, 2 when a URL longer
// than kUrlTextMax was left out, else 0.
int ImportUrlList(const char* path);
