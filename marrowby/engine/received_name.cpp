#include "marrowby/engine/received_name.h"

#include <stdio.h>
#include <string.h>

#include "common/bounded_text.h"
#include "common/sjis.h"
#include "common/text_helpers.h"
#include "marrowby/engine/name_cut.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool HasHighBytes(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return true;
    return false;
}

NameCharset CharsetOf(const char* text)
{
    return IsUtf8BeyondAscii(text, strlen(text)) ? kNameUtf8 : kNameCodePage;
}

const char* SkipSpaces(const char* p)
{
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Latin-1 bytes as UTF-8: each byte is its own code point.
void Latin1ToUtf8(const char* text, char* out, size_t capacity)
{
    size_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        size_t need = *p < 0x80 ? 1 : 2;
        if (n + need + 1 > capacity) break;
        if (need == 1) {
            out[n++] = static_cast<char>(*p);
        } else {
            out[n++] = static_cast<char>(0xC0 | (*p >> 6));
            out[n++] = static_cast<char>(0x80 | (*p & 0x3F));
        }
    }
    if (capacity > 0) out[n] = '\0';
}

// One parameter of a disposition: its name and its raw value as [begin, end).
struct DispositionParameter {
    const char* name;
    size_t nameLength;
    const char* value;
    size_t valueLength;
    bool quoted;
};

// Reads the parameter at p (after its ";"); returns the position after it.
const char* ReadParameter(const char* p, DispositionParameter& parameter)
{
    p = SkipSpaces(p);
    parameter.name = p;
    while (*p != '\0' && *p != '=' && *p != ';' && *p != ' ') ++p;
    parameter.nameLength = static_cast<size_t>(p - parameter.name);
    p = SkipSpaces(p);
    while (*p == '=') ++p;
    p = SkipSpaces(p);
    parameter.quoted = *p == '"';
    if (parameter.quoted) {
        // Characters are stepped over whole: a trail byte may be 0x5C.
        parameter.value = ++p;
        while (*p != '\0' && *p != '"') {
            size_t length = SjisCharLength(p);
            if (length == 1 && *p == '\\' && (p[1] == '"' || p[1] == '\\')) length = 2;
            p += length;
        }
        parameter.valueLength = static_cast<size_t>(p - parameter.value);
        if (*p == '"') ++p;
    } else {
        parameter.value = p;
        while (*p != '\0' && *p != ';') ++p;
        size_t length = static_cast<size_t>(p - parameter.value);
        while (length > 0 && (parameter.value[length - 1] == ' ' || parameter.value[length - 1] == '\t')) --length;
        parameter.valueLength = length;
    }
    while (*p != '\0' && *p != ';') ++p;
    return *p == ';' ? p + 1 : p;
}

// A quoted value without its \" and \\ escapes.
void Unescape(const DispositionParameter& parameter, char* out, size_t capacity)
{
    size_t n = 0;
    const char* p = parameter.value;
    const char* end = parameter.value + parameter.valueLength;
    while (p < end) {
        size_t length = SjisCharLength(p);
        if (length == 1 && parameter.quoted && *p == '\\' && p + 1 < end && (p[1] == '"' || p[1] == '\\')) ++p;
        if (p + length > end || n + length >= capacity) break;
        for (size_t k = 0; k < length; ++k) out[n++] = *p++;
    }
    out[n] = '\0';
}

// filename*=charset'language'escaped-bytes. Returns false for a charset
// other than UTF-8 and ISO-8859-1, or bytes that are not what it says.
bool ReadExtendedName(const DispositionParameter& parameter, char* out, size_t capacity)
{
    char raw[kReceivedNameMax * 3 + 1];
    Unescape(parameter, raw, sizeof raw);
    char* quote = strchr(raw, '\'');
    if (quote == nullptr) return false;
    *quote = '\0';
    char* language = quote + 1;
    char* quote2 = strchr(language, '\'');
    if (quote2 == nullptr) return false;
    const char* escaped = quote2 + 1;
    char decoded[kReceivedNameMax * 3 + 1];
    size_t length = PercentDecode(escaped, strlen(escaped), decoded, sizeof decoded);
    if (SameTextIgnoringCase(raw, "UTF-8") == 0) {
        if (HasHighBytes(decoded, length) && !IsUtf8BeyondAscii(decoded, length)) return false;
        mw_text::Copy(out, capacity, decoded);
        return true;
    }
    if (SameTextIgnoringCase(raw, "ISO-8859-1") == 0) {
        Latin1ToUtf8(decoded, out, capacity);
        return true;
    }
    return false;
}

// Removes the last bytes of a cut UTF-8 sequence or Shift-JIS character.
size_t CutBetweenCharacters(const char* text, size_t limit)
{
    size_t n = 0;
    while (n < limit && text[n] != '\0') {
        size_t length = SjisCharLength(text + n);
        if (n + length > limit) break;
        n += length;
    }
    return n;
}

unsigned char FoldedByte(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

size_t PercentDecode(const char* text, size_t length, char* out, size_t capacity)
{
    if (capacity == 0) return 0;
    size_t n = 0;
    for (size_t i = 0; i < length && text[i] != '\0' && n + 1 < capacity; ++i) {
        int high = text[i] == '%' && i + 2 < length ? HexValue(text[i + 1]) : -1;
        int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out[n++] = static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out[n++] = text[i];
        }
    }
    out[n] = '\0';
    return n;
}

bool IsUtf8BeyondAscii(const char* text, size_t length)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    bool beyond = false;
    for (size_t i = 0; i < length;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t more;
        unsigned int code;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= length) return false;
        for (size_t k = 1; k <= more; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        bool overlong = (more == 2 && code < 0x800) || (more == 3 && code < 0x10000);
        if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        beyond = true;
        i += more + 1;
    }
    return beyond;
}

NameCharset NameFromUrlPath(const char* path, char* out, size_t capacity)
{
    size_t end = strcspn(path, "?#");
    size_t begin = 0;
    for (size_t i = 0; i < end; ++i)
        if (path[i] == '/') begin = i + 1;
    PercentDecode(path + begin, end - begin, out, capacity);
    return CharsetOf(out);
}

int32_t NameFromDisposition(const char* value, char* out, size_t capacity, NameCharset& charset)
{
    // Every type names the file alike: "inline" only asks for it to be shown,
    // and a download saves it all the same. A value that begins with a
    // parameter has no type.
    const size_t typeLength = strcspn(value, " ;=");
    const char* parameters = value[typeLength] == '=' ? value : value + typeLength;

    // Room beyond the field, so a long name is cut below with its extension.
    char plain[kReceivedNameMax * 2 + 1];
    char extended[kReceivedNameMax * 2 + 1];
    bool havePlain = false;
    bool haveExtended = false;
    for (const char* p = parameters; *p != '\0';) {
        DispositionParameter parameter;
        p = ReadParameter(p, parameter);
        if (!haveExtended && SameTextIgnoringCase(parameter.name, parameter.nameLength, "filename*") == 0) {
            // An empty name names nothing: the next source of a name counts.
            haveExtended = ReadExtendedName(parameter, extended, sizeof extended) && extended[0] != '\0';
        } else if (!havePlain && SameTextIgnoringCase(parameter.name, parameter.nameLength, "filename") == 0) {
            char raw[kReceivedNameMax * 2 + 1];
            Unescape(parameter, raw, sizeof raw);
            PercentDecode(raw, strlen(raw), plain, sizeof plain);
            havePlain = plain[0] != '\0';
        }
    }
    if (!haveExtended && !havePlain) return 1;
    const char* name = haveExtended ? extended : plain;
    CopyNameKeepingExtension(out, capacity, name, strlen(name));
    charset = CharsetOf(out);
    return 0;
}

void NameInCodePage(const char* name, NameCharset charset, Utf8ToCodePageFn convert, char* out, size_t capacity)
{
    if (capacity == 0) return;
    if (charset != kNameUtf8) {
        mw_text::Copy(out, capacity, name);
        return;
    }
    if (convert != nullptr && convert(name, strlen(name), out, capacity)) return;
    size_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; ++p) {
        if (*p < 0x80) {
            if (n + 2 > capacity) break;
            out[n++] = static_cast<char>(*p);
        } else {
            if (n + 4 > capacity) break;
            snprintf(out + n, 4, "%%%02X", *p);
            n += 3;
        }
    }
    out[n] = '\0';
}

void NumberedFileName(const char* name, int32_t n, char* out, size_t capacity, size_t maxLength)
{
    if (capacity == 0) return;
    const char* extension = nullptr;
    for (const char* p = name; *p != '\0'; p += SjisCharLength(p))
        if (*p == '.' && p != name) extension = p;
    size_t extensionLength = extension != nullptr ? strlen(extension) : 0;
    size_t baseLength = extension != nullptr ? static_cast<size_t>(extension - name) : strlen(name);
    char suffix[24];
    snprintf(suffix, sizeof suffix, " (%d)", static_cast<int>(n));
    size_t limit = capacity - 1 < maxLength ? capacity - 1 : maxLength;
    size_t fixed = strlen(suffix) + extensionLength;
    if (fixed > limit) {
        // No room for the base: the extension goes before the base does.
        extensionLength = 0;
        fixed = strlen(suffix);
    }
    size_t room = limit > fixed ? limit - fixed : 0;
    size_t keep = CutBetweenCharacters(name, baseLength < room ? baseLength : room);
    mw_text::CopyN(out, capacity, name, keep);
    mw_text::Append(out, capacity, suffix);
    if (extensionLength > 0) mw_text::Append(out, capacity, extension);
}

bool SameFileName(const char* a, const char* b)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (;;) {
        size_t length = SjisCharLength(reinterpret_cast<const char*>(p));
        if (length == 2) {
            if (p[0] != q[0] || p[1] != q[1]) return false;
        } else if (FoldedByte(*p) != FoldedByte(*q)) {
            return false;
        } else if (*p == '\0') {
            return true;
        }
        p += length;
        q += length;
    }
}
