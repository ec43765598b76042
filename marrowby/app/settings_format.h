// The program's settings record and its stored form: 2,320 bytes, integers
// little-endian, texts Shift-JIS ending in NUL. The in-memory record has the
// same layout (checked below), so the file is the record byte for byte.
// Options added since follow those bytes as a block of their own (below),
// which a reader of the first 2,320 bytes never sees.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t kSettingsSize = 2320;
constexpr size_t kProxyAddressSize = 1153;
constexpr size_t kDefaultUserSize = 49;
constexpr size_t kDefaultPasswordSize = 49;
constexpr size_t kDefaultFolderSize = 264;
constexpr size_t kListPathSize = 773;
constexpr int32_t kDefaultMaxSimultaneous = 2;
constexpr uint32_t kDefaultIdleTimeoutMs = 60000;
constexpr int32_t kDefaultReserved = 10;

struct ProgramSettings {
    char magic[4];            // "VORN" in a stored record
    int32_t reserved;         // 10 by default; kept, never used
    int32_t maxSimultaneous;  // downloads running at once
    int32_t autoStart;        // non-zero: scheduling passes run on their own
    int32_t removeOnSuccess;  // non-zero: completed downloads leave the list
    uint32_t idleTimeoutMs;   // silence after which a transfer is paused
    int32_t reserved2;
    int32_t useProxy;                            // non-zero: every job uses proxyAddress
    char proxyAddress[kProxyAddressSize];        // host[:port], port 8080 by default
    char defaultUser[kDefaultUserSize];          // these three match user, password
    char defaultPassword[kDefaultPasswordSize];  // and folder of a download item
    char defaultFolder[kDefaultFolderSize];
    char listPath[kListPathSize];  // list file read at start, written on save
};

static_assert(offsetof(ProgramSettings, magic) == 0, "layout");
static_assert(offsetof(ProgramSettings, reserved) == 4, "layout");
static_assert(offsetof(ProgramSettings, maxSimultaneous) == 8, "layout");
static_assert(offsetof(ProgramSettings, autoStart) == 12, "layout");
static_assert(offsetof(ProgramSettings, removeOnSuccess) == 16, "layout");
static_assert(offsetof(ProgramSettings, idleTimeoutMs) == 20, "layout");
static_assert(offsetof(ProgramSettings, reserved2) == 24, "layout");
static_assert(offsetof(ProgramSettings, useProxy) == 28, "layout");
static_assert(offsetof(ProgramSettings, proxyAddress) == 32, "layout");
static_assert(offsetof(ProgramSettings, defaultUser) == 1185, "layout");
static_assert(offsetof(ProgramSettings, defaultPassword) == 1234, "layout");
static_assert(offsetof(ProgramSettings, defaultFolder) == 1283, "layout");
static_assert(offsetof(ProgramSettings, listPath) == 1547, "layout");
static_assert(sizeof(ProgramSettings) == kSettingsSize, "layout");

// Fills settings with the defaults: all zero, then reserved 10, two downloads
// at once, a 60-second time-out and listPath = programFolder + "default.wrg".
void SetDefaultSettings(ProgramSettings* settings, const char* programFolder);

// listPath = programFolder + "default.wrg" (empty when that does not fit).
void SetDefaultListPath(ProgramSettings* settings, const char* programFolder);

// Accepts a stored record when at least 2,320 bytes are given and the first
// four are "VORN"; only the first 2,320 bytes are used. A text field with no
// NUL reads as empty. Returns 0 and fills settings, or 1 (settings untouched).
int DecodeSettings(const uint8_t* data, size_t length, ProgramSettings* settings);

// Writes the stored form of settings (magic forced to "VORN") into out.
void EncodeSettings(const ProgramSettings& settings, uint8_t out[kSettingsSize]);

// Options stored in the block after the first record. Every field is a
// 32-bit integer: a new one goes above laterLength, with one line at the end
// of kExtraSettingFields (settings_format.cpp) giving its default and bounds.
struct ExtraSettings {
    int32_t balloonNotices;     // non-zero: finished downloads announced by a balloon
    int32_t segmentsPerItem;    // connections one download may use, 1 to 16
    int32_t speedLimitKBps;     // all downloads together, in 1,000 bytes a second; 0 none
    int32_t connectionsAtMost;  // connections of all downloads together
    // Fields a newer program stored that this one does not know, kept so a
    // save by this program does not lose them.
    uint32_t laterLength;
    uint8_t later[256];
};

// The block: "VRNX", version, field bytes n, FNV-1a hash of version, length
// and fields (four 32-bit little-endian numbers), then n bytes of fields,
// four each, in table order. Versions only ever add fields at the end, so a
// reader takes the fields it knows from a block of any version and the
// defaults for those the block is too short to hold.
constexpr uint32_t kSettingsBlockVersion = 1;
constexpr size_t kSettingsBlockHeaderSize = 16;
constexpr size_t kSettingsBlockMaxSize = 4096;  // longer blocks are damaged

// Every field at its default (later fields none).
void SetDefaultExtraSettings(ExtraSettings* extra);

// Reads the block at data (the bytes after the first record; length 0 when
// the file ends there). Missing, short, damaged or foreign blocks give the
// defaults, as does a field outside its bounds (that field alone). Returns 0
// when a block was read, 1 when the defaults were taken.
int DecodeSettingsBlock(const uint8_t* data, size_t length, ExtraSettings* extra);

// Writes the block into out (kSettingsBlockMaxSize bytes) and returns its
// length.
size_t EncodeSettingsBlock(const ExtraSettings& extra, uint8_t* out);
