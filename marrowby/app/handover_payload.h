// What a second start of the program hands to the running one: the
// addresses and URL-list files of its command line, packed into one block of
// bytes that travels in WM_COPYDATA. The receiver trusts nothing in it:
// every entry is checked before anything is used.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// COPYDATASTRUCT.dwData of a hand-over ("MWHO" read little-endian).
constexpr uint32_t kHandoverDataId = 0x4F48574Du;
// The payload: "MWHO", then entries of one kind byte and a NUL-terminated
// text each.
constexpr size_t kHandoverMaxSize = 1u << 20;
constexpr size_t kHandoverUrlMax = 8192;  // longest address taken
constexpr size_t kHandoverPathMax = 772;  // longest URL-list path taken
constexpr char kHandoverUrl = 'U';        // an address to add
constexpr char kHandoverImport = 'I';     // a URL-list file (full path) to import

struct HandoverEntry {
    char kind;         // kHandoverUrl or kHandoverImport
    const char* text;  // NUL-terminated, inside the payload
    bool usable;       // false: an address that is no http or https URL
};

// An empty payload (the header alone): a start without arguments, which
// only brings the running program to the front.
void BeginHandover(std::vector<uint8_t>* payload);
// Adds an entry; returns false (payload unchanged) when the text is too long
// for its kind or the payload would grow past kHandoverMaxSize.
bool AddHandoverEntry(std::vector<uint8_t>* payload, char kind, const char* text);

// The command-line arguments after the program's name: "/import FILE" (or
// "-import", any case) names a URL list, every other argument an address.
// The texts point into args; the caller makes the files' paths whole before
// adding them, as the receiver has another current folder.
struct CommandLineItem {
    char kind;
    const char* text;
};
std::vector<CommandLineItem> ReadCommandLineItems(int count, const char* const* args);

// Checks a received payload as a whole: 0 when it can be used, 1 when it is
// too short, too long or has no header, 2 when a text runs to the end
// without its NUL, 3 when an entry is of an unknown kind, 4 when a text is
// too long for its kind or an import path is empty.
int CheckHandover(const uint8_t* data, size_t size);

// The entry that starts at offset at of a checked payload; returns the
// offset of the next one (size after the last).
size_t ReadHandoverEntry(const uint8_t* data, size_t size, size_t at, HandoverEntry* entry);

// Offset of the first entry.
constexpr size_t kHandoverFirstEntry = 4;
