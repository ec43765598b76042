#include "marrowby/engine/decimal.h"

#include "common/bounded_text.h"

namespace {

constexpr uint64_t kInt64Magnitude = UINT64_C(0x7FFFFFFFFFFFFFFF);

struct Scanned {
    bool negative;
    bool overflow;       // more than the negative limit, 2^63
    uint64_t magnitude;  // at most 2^63
};

// White space, an optional sign, then digits up to the first other
// character. The magnitude stops growing at 2^63, the largest one int64_t
// can hold (negative).
Scanned ScanDecimal(const char* text)
{
    Scanned scanned = {false, false, 0};
    if (text == nullptr) return scanned;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    if (*p == '+' || *p == '-') {
        scanned.negative = (*p == '-');
        ++p;
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (scanned.overflow) continue;
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (scanned.magnitude > (kInt64Magnitude + 1 - digit) / 10) {
            scanned.overflow = true;
            scanned.magnitude = kInt64Magnitude + 1;
        } else {
            scanned.magnitude = scanned.magnitude * 10 + digit;
        }
    }
    return scanned;
}

bool Fits(const Scanned& scanned)
{
    return !scanned.overflow && (scanned.negative || scanned.magnitude <= kInt64Magnitude);
}

int64_t Signed(const Scanned& scanned)
{
    if (!scanned.negative) {
        return scanned.magnitude > kInt64Magnitude ? INT64_MAX : static_cast<int64_t>(scanned.magnitude);
    }
    if (scanned.magnitude > kInt64Magnitude) return INT64_MIN;
    return -static_cast<int64_t>(scanned.magnitude);
}

}  // namespace

int32_t ParseDecimal(const char* text)
{
    const int64_t value = ParseDecimal64(text);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int64_t ParseDecimal64(const char* text)
{
    return Signed(ScanDecimal(text));
}

bool ReadDecimal64(const char* text, int64_t& value)
{
    const Scanned scanned = ScanDecimal(text);
    value = Fits(scanned) ? Signed(scanned) : 0;
    return Fits(scanned);
}

const char* FormatDecimal64(int64_t value, char* out, size_t capacity)
{
    // Digits from the end of a local buffer; the magnitude as unsigned, so
    // INT64_MIN needs no special case.
    char digits[kDecimal64TextSize];
    char* p = digits + sizeof digits - 1;
    *p = '\0';
    uint64_t magnitude = value < 0 ? UINT64_C(0) - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0) *--p = '-';
    mw_text::Copy(out, capacity, p);
    return out;
}
