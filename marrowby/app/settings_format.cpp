// Stored form of the settings record. Integers are read and written byte by
// byte so the file stays little-endian whatever the host.
#include "marrowby/app/settings_format.h"

#include <string.h>

namespace {

const char kMagic[4] = {'V', 'O', 'R', 'N'};

void PutInt32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetInt32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int32_t GetSigned(const uint8_t* p)
{
    return static_cast<int32_t>(GetInt32(p));
}

// Byte copies of the text fields keep whatever follows their NUL, so a record
// read and written again is the same file.
template <size_t N>
void PutText(uint8_t* out, const char (&field)[N])
{
    memcpy(out, field, N);
}

// A text without its terminator is damaged: it reads as empty rather than
// running on into the next field, or past the record for the list path.
template <size_t N>
void GetText(char (&field)[N], const uint8_t* in)
{
    memcpy(field, in, N);
    if (memchr(field, '\0', N) == nullptr) field[0] = '\0';
}

}  // namespace

void SetDefaultSettings(ProgramSettings* settings, const char* programFolder)
{
    memset(settings, 0, sizeof(*settings));
    settings->reserved = kDefaultReserved;
    settings->maxSimultaneous = kDefaultMaxSimultaneous;
    settings->idleTimeoutMs = kDefaultIdleTimeoutMs;
    SetDefaultListPath(settings, programFolder);
}

void SetDefaultListPath(ProgramSettings* settings, const char* programFolder)
{
    settings->listPath[0] = '\0';
    const char* folder = programFolder != nullptr ? programFolder : "";
    size_t folderLength = strlen(folder);
    const char kName[] = "default.wrg";
    // A folder too long for the name leaves listPath empty rather than
    // naming a truncated, different file.
    if (folderLength + sizeof(kName) <= sizeof(settings->listPath)) {
        memcpy(settings->listPath, folder, folderLength);
        memcpy(settings->listPath + folderLength, kName, sizeof(kName));
    }
}

int DecodeSettings(const uint8_t* data, size_t length, ProgramSettings* settings)
{
    if (data == nullptr || length < kSettingsSize || memcmp(data, kMagic, 4) != 0) return 1;
    memcpy(settings->magic, data, 4);
    settings->reserved = GetSigned(data + offsetof(ProgramSettings, reserved));
    settings->maxSimultaneous = GetSigned(data + offsetof(ProgramSettings, maxSimultaneous));
    settings->autoStart = GetSigned(data + offsetof(ProgramSettings, autoStart));
    settings->removeOnSuccess = GetSigned(data + offsetof(ProgramSettings, removeOnSuccess));
    settings->idleTimeoutMs = GetInt32(data + offsetof(ProgramSettings, idleTimeoutMs));
    settings->reserved2 = GetSigned(data + offsetof(ProgramSettings, reserved2));
    settings->useProxy = GetSigned(data + offsetof(ProgramSettings, useProxy));
    GetText(settings->proxyAddress, data + offsetof(ProgramSettings, proxyAddress));
    GetText(settings->defaultUser, data + offsetof(ProgramSettings, defaultUser));
    GetText(settings->defaultPassword, data + offsetof(ProgramSettings, defaultPassword));
    GetText(settings->defaultFolder, data + offsetof(ProgramSettings, defaultFolder));
    GetText(settings->listPath, data + offsetof(ProgramSettings, listPath));
    return 0;
}

void EncodeSettings(const ProgramSettings& settings, uint8_t out[kSettingsSize])
{
    memcpy(out, kMagic, 4);
    PutInt32(out + offsetof(ProgramSettings, reserved), static_cast<uint32_t>(settings.reserved));
    PutInt32(out + offsetof(ProgramSettings, maxSimultaneous), static_cast<uint32_t>(settings.maxSimultaneous));
    PutInt32(out + offsetof(ProgramSettings, autoStart), static_cast<uint32_t>(settings.autoStart));
    PutInt32(out + offsetof(ProgramSettings, removeOnSuccess), static_cast<uint32_t>(settings.removeOnSuccess));
    PutInt32(out + offsetof(ProgramSettings, idleTimeoutMs), settings.idleTimeoutMs);
    PutInt32(out + offsetof(ProgramSettings, reserved2), static_cast<uint32_t>(settings.reserved2));
    PutInt32(out + offsetof(ProgramSettings, useProxy), static_cast<uint32_t>(settings.useProxy));
    PutText(out + offsetof(ProgramSettings, proxyAddress), settings.proxyAddress);
    PutText(out + offsetof(ProgramSettings, defaultUser), settings.defaultUser);
    PutText(out + offsetof(ProgramSettings, defaultPassword), settings.defaultPassword);
    PutText(out + offsetof(ProgramSettings, defaultFolder), settings.defaultFolder);
    PutText(out + offsetof(ProgramSettings, listPath), settings.listPath);
}

namespace {

const char kBlockMagic[4] = {'V', 'R', 'N', 'X'};

struct ExtraSettingField {
    int32_t ExtraSettings::*member;
    int32_t defaultValue;
    int32_t lowest;
    int32_t highest;
};

// The block's fields in stored order: new ones go at the end, none is ever
// removed or moved (an unused one keeps its place).
const ExtraSettingField kExtraSettingFields[] = {
    {&ExtraSettings::balloonNotices, 1, 0, 1},
    {&ExtraSettings::segmentsPerItem, 4, 1, 16},
    {&ExtraSettings::speedLimitKBps, 0, 0, 10000000},
    {&ExtraSettings::connectionsAtMost, 16, 1, 256},
};

constexpr size_t kFieldCount = sizeof(kExtraSettingFields) / sizeof(kExtraSettingFields[0]);
constexpr size_t kKnownBytes = 4 * kFieldCount;
static_assert(kSettingsBlockHeaderSize + kKnownBytes + sizeof(ExtraSettings::later) <= kSettingsBlockMaxSize,
              "block size");

uint32_t HashBytes(uint32_t hash, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash;
}

// FNV-1a over version, length and fields: any one changed byte changes it.
uint32_t BlockHash(const uint8_t* block, size_t fieldBytes)
{
    uint32_t hash = HashBytes(2166136261u, block + 4, 8);
    return HashBytes(hash, block + kSettingsBlockHeaderSize, fieldBytes);
}

}  // namespace

void SetDefaultExtraSettings(ExtraSettings* extra)
{
    memset(extra, 0, sizeof(*extra));
    for (const ExtraSettingField& field : kExtraSettingFields) {
        extra->*field.member = field.defaultValue;
    }
}

int DecodeSettingsBlock(const uint8_t* data, size_t length, ExtraSettings* extra)
{
    SetDefaultExtraSettings(extra);
    if (data == nullptr || length < kSettingsBlockHeaderSize || memcmp(data, kBlockMagic, 4) != 0) return 1;
    uint32_t version = GetInt32(data + 4);
    uint32_t fieldBytes = GetInt32(data + 8);
    const uint8_t* fields = data + kSettingsBlockHeaderSize;
    if (version == 0 || fieldBytes > length - kSettingsBlockHeaderSize || fieldBytes % 4 != 0) return 1;
    if (GetInt32(data + 12) != BlockHash(data, fieldBytes)) return 1;
    for (size_t i = 0; i < kFieldCount && 4 * i < fieldBytes; ++i) {
        const ExtraSettingField& field = kExtraSettingFields[i];
        int32_t value = GetSigned(fields + 4 * i);
        if (value >= field.lowest && value <= field.highest) extra->*field.member = value;
    }
    if (fieldBytes > kKnownBytes) {
        size_t later = fieldBytes - kKnownBytes;
        if (later > sizeof(extra->later)) later = sizeof(extra->later);
        memcpy(extra->later, fields + kKnownBytes, later);
        extra->laterLength = static_cast<uint32_t>(later);
    }
    return 0;
}

size_t EncodeSettingsBlock(const ExtraSettings& extra, uint8_t* out)
{
    uint8_t* fields = out + kSettingsBlockHeaderSize;
    for (size_t i = 0; i < kFieldCount; ++i) {
        PutInt32(fields + 4 * i, static_cast<uint32_t>(extra.*kExtraSettingFields[i].member));
    }
    size_t later = extra.laterLength <= sizeof(extra.later) ? extra.laterLength & ~3u : 0;
    memcpy(fields + kKnownBytes, extra.later, later);
    size_t fieldBytes = kKnownBytes + later;
    memcpy(out, kBlockMagic, 4);
    PutInt32(out + 4, kSettingsBlockVersion);
    PutInt32(out + 8, static_cast<uint32_t>(fieldBytes));
    PutInt32(out + 12, BlockHash(out, fieldBytes));
    return kSettingsBlockHeaderSize + fieldBytes;
}
