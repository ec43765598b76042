#include "tidewell/lzh/lzh_file.h"

#include <cstring>

int LzhFileOpen(LzhFile* file, const char* path)
{
    file->handle = std::fopen(path, "rb");
    file->bufferStart = 0;
    file->bufferPos = 0;
    file->bufferLen = 0;
    file->eof = false;
    return file->handle ? 0 : 1;
}

void LzhFileClose(LzhFile* file)
{
    if (file->handle) (void)std::fclose(file->handle);  // read only: nothing to lose
    file->handle = nullptr;
    file->bufferStart = 0;
    file->bufferPos = 0;
    file->bufferLen = 0;
}

uint32_t LzhFileTell(const LzhFile* file)
{
    return file->bufferStart + file->bufferPos;
}

int LzhFileSeek(LzhFile* file, uint64_t position)
{
    if (!file->handle || position > LZH_FILE_MAX_POSITION) return 1;
    // Header walks seek back and forth within a few hundred bytes: stay in
    // the buffer when the target is already there.
    if (position >= file->bufferStart && position <= uint64_t(file->bufferStart) + file->bufferLen) {
        file->bufferPos = uint32_t(position - file->bufferStart);
        return 0;
    }
    if (std::fseek(file->handle, long(position), SEEK_SET) != 0) return 1;
    file->bufferStart = uint32_t(position);
    file->bufferPos = 0;
    file->bufferLen = 0;
    return 0;
}

int64_t LzhFileLength(LzhFile* file)
{
    if (!file->handle) return -1;
    const uint32_t position = LzhFileTell(file);
    long length = -1;
    if (std::fseek(file->handle, 0, SEEK_END) == 0) length = std::ftell(file->handle);
    // Back to where reading stood, with an empty buffer.
    file->bufferStart = position;
    file->bufferPos = file->bufferLen = 0;
    if (std::fseek(file->handle, long(position), SEEK_SET) != 0) return -1;
    return length;
}

int LzhFileRefill(LzhFile* file)
{
    if (!file->handle) {
        file->eof = true;
        return -1;
    }
    file->bufferStart += file->bufferLen;
    file->bufferPos = 0;
    file->bufferLen = uint32_t(std::fread(file->buffer, 1, sizeof file->buffer, file->handle));
    if (file->bufferLen == 0) {
        file->eof = true;
        return -1;
    }
    return file->buffer[file->bufferPos++];
}

uint32_t LzhFileRead(LzhFile* file, uint8_t* out, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        uint32_t buffered = file->bufferLen - file->bufferPos;
        if (buffered == 0) {
            if (LzhFileRefill(file) < 0) break;
            file->bufferPos--;  // the refill handed out its first byte already
            continue;
        }
        uint32_t take = count - done < buffered ? count - done : buffered;
        std::memcpy(out + done, file->buffer + file->bufferPos, take);
        file->bufferPos += take;
        done += take;
    }
    return done;
}
