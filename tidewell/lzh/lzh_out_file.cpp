#include "tidewell/lzh/lzh_out_file.h"

#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tidewell/lzh/lzh_file.h"

namespace {

bool Flush(LzhOutFile* out)
{
    if (out->used > 0 && !out->failed && std::fwrite(out->buffer, 1, out->used, out->handle) != out->used)
        out->failed = true;
    out->bufferStart += out->used;
    out->used = 0;
    return !out->failed;
}

}  // namespace

int LzhOutOpen(LzhOutFile* out, const char* path)
{
    out->handle = std::fopen(path, "wb");
    out->bufferStart = 0;
    out->used = 0;
    out->end = 0;
    out->failed = false;
    out->tooLarge = false;
    return out->handle ? 0 : 1;
}

bool LzhOutWrite(LzhOutFile* out, const uint8_t* data, size_t length)
{
    if (out->failed) return false;
    if (length > LZH_FILE_MAX_POSITION - LzhOutTell(out)) {
        out->tooLarge = out->failed = true;
        return false;
    }
    while (length > 0) {
        if (out->used == LZH_OUT_BUFFER_SIZE && !Flush(out)) return false;
        size_t room = LZH_OUT_BUFFER_SIZE - out->used;
        size_t take = length < room ? length : room;
        std::memcpy(out->buffer + out->used, data, take);
        out->used += uint32_t(take);
        data += take;
        length -= take;
    }
    if (LzhOutTell(out) > out->end) out->end = LzhOutTell(out);
    return true;
}

bool LzhOutSeek(LzhOutFile* out, uint32_t position)
{
    if (!Flush(out)) return false;
    if (position > LZH_FILE_MAX_POSITION || std::fseek(out->handle, long(position), SEEK_SET) != 0) {
        out->failed = true;
        return false;
    }
    out->bufferStart = position;
    return true;
}

bool LzhOutTruncate(LzhOutFile* out, uint32_t length)
{
    if (!Flush(out) || std::fflush(out->handle) != 0) {
        out->failed = true;
        return false;
    }
#ifdef _WIN32
    const bool cut = _chsize_s(_fileno(out->handle), length) == 0;
#else
    const bool cut = ftruncate(fileno(out->handle), off_t(length)) == 0;
#endif
    if (!cut)
        out->failed = true;
    else if (out->end > length)
        out->end = length;
    return cut;
}

int LzhOutClose(LzhOutFile* out)
{
    if (!out->handle) return 1;
    Flush(out);
    if (std::fclose(out->handle) != 0) out->failed = true;
    out->handle = nullptr;
    return out->failed ? 1 : 0;
}
