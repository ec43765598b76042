// List files (".wrg", key=value lines shared with ReGet) and plain URL lists.
#pragma once

// Appends the file's records to the download list. Returns 1 when the path is
// empty or the file cannot be opened, else 0 (also after running out of memory).
int ReadListFile(const char* path);

// True when the file opens but its content is not a list (see
// LooksLikeListFile); false for a list, an empty file, or one that cannot be
// opened.
bool FileIsNotAList(const char* path);

// Writes the whole list in chain order through a temporary file that replaces
// the old one only when complete. Returns 1 when the path is empty or the file
// cannot be written (the old file is then unchanged), else 0.
int WriteListFile(const char* path);

// Adds every http URL of a text file (one per line) to the list. Returns 1
// when the path is empty or the file cannot be opened, else 0.
int ImportUrlList(const char* path);
