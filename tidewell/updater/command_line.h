// The updater's optional command line: up to three double-quoted arguments,
// the update-information URL, the information file name and a folder.
// Characters outside quotes are skipped.
#pragma once

#include <cstddef>

// Each argument is read into a buffer of 127 characters and a terminator. A
// longer argument keeps its first 127 characters (never half a double-byte
// character) and the rest up to its closing quote is skipped, so the
// arguments after it are still read from their own quotes.
constexpr size_t kArgumentMax = 127;
constexpr size_t kCommandPathSize = 260;

struct CommandLineArgs {
    bool hasUrl;
    bool hasInfoFile;
    bool hasFolder;
    char url[kArgumentMax + 1];
    char infoFile[kCommandPathSize];
    char folder[kCommandPathSize];  // ends in '\' or '/'
};

// Fills args (every field reset first). Returns true when a first argument
// with its closing quote was found; without one nothing is set. A second or
// third argument whose closing quote is missing is not set.
bool ParseCommandLine(const char* text, CommandLineArgs* args);
