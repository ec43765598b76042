// The program's settings record and its stored form: 2,320 bytes, integers
// little-endian, texts Shift-JIS ending in NUL. The in-memory record has the
// same layout (checked below), so the file is the record byte for byte.
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
