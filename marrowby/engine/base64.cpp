#include "marrowby/engine/base64.h"

#include "marrowby/engine/http_result.h"

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

int32_t EncodeBase64(char* output, size_t outputCapacity, const void* input, size_t length)
{
    if (outputCapacity < Base64EncodedSize(length)) {
        if (outputCapacity > 0) output[0] = '\0';
        return kHttpOutputTooSmall;
    }
    const unsigned char* in = static_cast<const unsigned char*>(input);
    char* out = output;
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t group = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
        *out++ = kAlphabet[(group >> 18) & 63];
        *out++ = kAlphabet[(group >> 12) & 63];
        *out++ = kAlphabet[(group >> 6) & 63];
        *out++ = kAlphabet[group & 63];
    }
    const size_t remainder = length - i;
    if (remainder > 0) {
        uint32_t group = uint32_t{in[i]} << 16;
        if (remainder == 2) group |= uint32_t{in[i + 1]} << 8;
        *out++ = kAlphabet[(group >> 18) & 63];
        *out++ = kAlphabet[(group >> 12) & 63];
        *out++ = remainder == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        *out++ = '=';
    }
    *out = '\0';
    return kHttpOk;
}
