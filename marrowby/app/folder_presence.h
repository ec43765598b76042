// Which files of a folder exist, for a list that names many files in few
// folders: asking for each missing name makes the system search the whole
// folder every time, so a long list would take a time that grows with the
// square of its length. A folder that is asked about often is listed once
// instead. Only absence is told: a name that may exist is for the caller
// to open as always, so the answers are those the files would give.
// The listing also gives a plain file's size, which spares opening each of
// a long list's files one by one.
#pragma once

#include <stdint.h>

#include <string>
#include <unordered_map>
#include <unordered_set>

// Folders asked about more often than this are listed.
constexpr int kFolderListingThreshold = 16;

struct FolderNames {
    int lookups = 0;
    bool listed = false;
    bool complete = false;                  // the listing ran to its end
    std::unordered_set<std::string> names;  // ASCII letters folded
    // Plain files by their folded long name; -1 where two names fold alike.
    std::unordered_map<std::string, int64_t> fileSizes;
};

struct FolderPresence {
    // Keyed by the folder as the paths spell it, separator included.
    std::unordered_map<std::string, FolderNames> folders;
};

enum class Listed {
    kUnknown,  // the listing cannot tell: open the file as always
    kAbsent,   // no file of that path exists
    kFile,     // a plain file of the listed size
};

// What the path's folder listing says of the path; size is set for kFile.
Listed LookUpListed(FolderPresence* presence, const char* path, int64_t* size);
