#include "tidewell/updater/key_file.h"

#include <cstdint>
#include <cstring>

namespace {

// One line of the text at *at; *at moves past its line end.
struct Line {
    const char* text;
    size_t length;
    bool present;
};

Line NextLine(const char* text, size_t size, size_t* at)
{
    Line line{text + *at, 0, *at < size};
    while (*at < size && text[*at] != '\n') {
        ++*at;
        ++line.length;
    }
    if (*at < size) ++*at;  // the LF
    if (line.length && line.text[line.length - 1] == '\r') --line.length;
    return line;
}

bool LineIs(const Line& line, const char* expected)
{
    return line.present && line.length == std::strlen(expected) && std::memcmp(line.text, expected, line.length) == 0;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool HexLine(const Line& line, uint8_t* out, size_t bytes)
{
    if (!line.present || line.length != 2 * bytes) return false;
    for (size_t i = 0; i < bytes; ++i) {
        int high = HexDigit(line.text[2 * i]);
        int low = HexDigit(line.text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

// Nothing but the line ends already passed may follow the key.
bool AtEnd(const char* text, size_t size, size_t at)
{
    Line rest = NextLine(text, size, &at);
    return !rest.present || (rest.length == 0 && at >= size);
}

KeyFileResult CheckHeader(const Line& header, const char* wanted, const char* other)
{
    if (LineIs(header, wanted)) return kKeyFileOk;
    return LineIs(header, other) ? kKeyFileWrongKind : kKeyFileNotAKey;
}

}  // namespace

KeyFileResult ParsePublicKeyFile(const char* text, size_t size, EcPublicKey* key)
{
    size_t at = 0;
    KeyFileResult header =
        CheckHeader(NextLine(text, size, &at), TIDEWELL_PUBLIC_KEY_HEADER, TIDEWELL_PRIVATE_KEY_HEADER);
    if (header != kKeyFileOk) return header;
    if (!HexLine(NextLine(text, size, &at), key->xy, kEcPublicKeySize)) return kKeyFileBadDigits;
    return AtEnd(text, size, at) ? kKeyFileOk : kKeyFileTrailing;
}

KeyFileResult ParsePrivateKeyFile(const char* text, size_t size, EcPrivateKey* key)
{
    size_t at = 0;
    KeyFileResult header =
        CheckHeader(NextLine(text, size, &at), TIDEWELL_PRIVATE_KEY_HEADER, TIDEWELL_PUBLIC_KEY_HEADER);
    if (header != kKeyFileOk) return header;
    if (!HexLine(NextLine(text, size, &at), key->d, kEcCoordinateSize)) return kKeyFileBadDigits;
    Line publicLine = NextLine(text, size, &at);
    if (!publicLine.present) return kKeyFileTrailing;
    if (!HexLine(publicLine, key->publicKey.xy, kEcPublicKeySize)) return kKeyFileBadDigits;
    return AtEnd(text, size, at) ? kKeyFileOk : kKeyFileTrailing;
}

const char* KeyFileResultText(KeyFileResult result)
{
    switch (result) {
    case kKeyFileOk: return "a key";
    case kKeyFileNotAKey: return "not a Tidewell key file";
    case kKeyFileWrongKind: return "the other kind of key (public for private, or the reverse)";
    case kKeyFileBadDigits: return "a key line of the wrong length or with a character that is not hexadecimal";
    case kKeyFileTrailing: return "lines missing or more text after the key";
    }
    return "unknown key file result";
}
