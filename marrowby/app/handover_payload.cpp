// Packing and checking the hand-over payload.
#include "marrowby/app/handover_payload.h"

#include <string.h>

#include "common/text_helpers.h"
#include "marrowby/engine/url.h"

namespace {

const uint8_t kMagic[4] = {'M', 'W', 'H', 'O'};

size_t LongestText(char kind)
{
    return kind == kHandoverUrl ? kHandoverUrlMax : kHandoverPathMax;
}

// One line of printable text only: a line end inside an address would make
// two of it, and the list file one record too many.
bool IsDownloadableUrl(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (static_cast<unsigned char>(*p) < 0x20) return false;
    }
    UrlParts parts;
    ResetUrl(parts);
    return ParseUrl(text, nullptr, parts) == 0 && IsDownloadableScheme(parts.scheme);
}

bool IsImportSwitch(const char* arg)
{
    return (arg[0] == '/' || arg[0] == '-') && SameTextIgnoringCase(arg + 1, "import") == 0;
}

}  // namespace

void BeginHandover(std::vector<uint8_t>* payload)
{
    payload->assign(kMagic, kMagic + sizeof(kMagic));
}

bool AddHandoverEntry(std::vector<uint8_t>* payload, char kind, const char* text)
{
    size_t length = strlen(text);
    if (length > LongestText(kind) || payload->size() + length + 2 > kHandoverMaxSize) return false;
    payload->push_back(static_cast<uint8_t>(kind));
    payload->insert(payload->end(), text, text + length + 1);
    return true;
}

std::vector<CommandLineItem> ReadCommandLineItems(int count, const char* const* args)
{
    std::vector<CommandLineItem> items;
    for (int i = 1; i < count; ++i) {
        if (IsImportSwitch(args[i])) {
            if (i + 1 < count) items.push_back({kHandoverImport, args[++i]});
        } else {
            items.push_back({kHandoverUrl, args[i]});
        }
    }
    return items;
}

int CheckHandover(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < sizeof(kMagic) || size > kHandoverMaxSize) return 1;
    if (memcmp(data, kMagic, sizeof(kMagic)) != 0) return 1;
    for (size_t at = kHandoverFirstEntry; at < size;) {
        char kind = static_cast<char>(data[at]);
        if (kind != kHandoverUrl && kind != kHandoverImport) return 3;
        const uint8_t* text = data + at + 1;
        const void* end = memchr(text, '\0', size - at - 1);
        if (end == nullptr) return 2;
        size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - text);
        if (length > LongestText(kind) || (kind == kHandoverImport && length == 0)) return 4;
        at += length + 2;
    }
    return 0;
}

size_t ReadHandoverEntry(const uint8_t* data, size_t size, size_t at, HandoverEntry* entry)
{
    entry->kind = static_cast<char>(data[at]);
    entry->text = reinterpret_cast<const char*>(data + at + 1);
    entry->usable = entry->kind != kHandoverUrl || IsDownloadableUrl(entry->text);
    size_t next = at + strlen(entry->text) + 2;
    return next < size ? next : size;
}
