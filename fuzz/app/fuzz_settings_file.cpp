// The input as a settings file ("vorn.cfg"): it is taken when it has at
// least 2,320 bytes and the magic, and then gives a record whose texts end
// within their fields and which is written back as the same bytes. The
// input as a record in memory: what is written reads back the same. The
// input as the program folder: the default list path is whole or empty. The
// input as the block after the record: whatever is read is written so that it
// reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/engine/fuzz_check.h"
#include "marrowby/app/settings_format.h"

namespace {

struct TextField {
    size_t offset;
    size_t size;
};

const TextField kTexts[] = {
    {offsetof(ProgramSettings, proxyAddress), kProxyAddressSize},
    {offsetof(ProgramSettings, defaultUser), kDefaultUserSize},
    {offsetof(ProgramSettings, defaultPassword), kDefaultPasswordSize},
    {offsetof(ProgramSettings, defaultFolder), kDefaultFolderSize},
    {offsetof(ProgramSettings, listPath), kListPathSize},
};

bool Terminated(const uint8_t* record, const TextField& text)
{
    return std::memchr(record + text.offset, '\0', text.size) != nullptr;
}

void CheckStoredRecord(const uint8_t* data, size_t size)
{
    ProgramSettings settings;
    std::memset(&settings, 0xA5, sizeof settings);
    const bool valid = size >= kSettingsSize && std::memcmp(data, "VORN", 4) == 0;
    FUZZ_CHECK(DecodeSettings(data, size, &settings) == (valid ? 0 : 1));
    if (!valid) {
        for (size_t i = 0; i < sizeof settings; ++i) FUZZ_CHECK(reinterpret_cast<uint8_t*>(&settings)[i] == 0xA5);
        return;
    }
    const uint8_t* record = reinterpret_cast<const uint8_t*>(&settings);
    for (const TextField& text : kTexts) FUZZ_CHECK(Terminated(record, text));

    // Written back byte for byte, but for a text that lacked its terminator,
    // which reads as empty.
    uint8_t expected[kSettingsSize];
    std::memcpy(expected, data, kSettingsSize);
    for (const TextField& text : kTexts) {
        if (!Terminated(data, text)) expected[text.offset] = '\0';
    }
    uint8_t written[kSettingsSize];
    EncodeSettings(settings, written);
    FUZZ_CHECK(std::memcmp(written, expected, kSettingsSize) == 0);
}

// Any record in memory (its texts terminated, as the program keeps them) is
// written whole and reads back the same, with the magic set.
void CheckMemoryRecord(const uint8_t* data, size_t size)
{
    ProgramSettings settings;
    std::memset(&settings, 0, sizeof settings);
    std::memcpy(&settings, data, size < sizeof settings ? size : sizeof settings);
    uint8_t* record = reinterpret_cast<uint8_t*>(&settings);
    for (const TextField& text : kTexts) record[text.offset + text.size - 1] = '\0';

    uint8_t written[kSettingsSize];
    std::memset(written, 0x5A, sizeof written);
    EncodeSettings(settings, written);
    std::memcpy(settings.magic, "VORN", 4);
    ProgramSettings again;
    FUZZ_CHECK(DecodeSettings(written, sizeof written, &again) == 0);
    FUZZ_CHECK(std::memcmp(&again, &settings, sizeof settings) == 0);
}

void CheckDefaultListPath(const uint8_t* data, size_t size)
{
    const std::string folder(reinterpret_cast<const char*>(data), size);
    ProgramSettings settings;
    SetDefaultSettings(&settings, folder.c_str());
    FUZZ_CHECK(std::memchr(settings.listPath, '\0', sizeof settings.listPath) != nullptr);
    const std::string path = settings.listPath;
    FUZZ_CHECK(path == std::string(folder.c_str()) + "default.wrg" ||
               (path.empty() && std::strlen(folder.c_str()) + sizeof("default.wrg") > kListPathSize));
    FUZZ_CHECK(settings.maxSimultaneous == kDefaultMaxSimultaneous && settings.idleTimeoutMs == kDefaultIdleTimeoutMs);
}

void CheckBlock(const uint8_t* data, size_t size)
{
    ExtraSettings extra;
    std::memset(&extra, 0xA5, sizeof extra);
    DecodeSettingsBlock(data, size, &extra);
    FUZZ_CHECK(extra.laterLength <= sizeof extra.later && extra.laterLength % 4 == 0);
    uint8_t written[kSettingsBlockMaxSize];
    const size_t length = EncodeSettingsBlock(extra, written);
    ExtraSettings again;
    FUZZ_CHECK(DecodeSettingsBlock(written, length, &again) == 0);
    FUZZ_CHECK(std::memcmp(&again, &extra, sizeof extra) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckStoredRecord(data, size);
    CheckMemoryRecord(data, size);
    CheckDefaultListPath(data, size);
    CheckBlock(data, size);
    return 0;
}
