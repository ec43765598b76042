#include "tidewell/lzh/lzh_archive_writer.h"

#include <cstring>

#include "tidewell/lzh/lzh_crc16.h"
#include "tidewell/lzh/lzh_header_writer.h"

namespace {

const uint64_t kMaxEntrySize = 0xFFFFFFFFull;

bool SinkToArchive(void* context, const uint8_t* data, size_t length)
{
    return LzhOutWrite(static_cast<LzhOutFile*>(context), data, length);
}

int OutputResult(const LzhOutFile* out)
{
    return out->tooLarge ? LZH_WRITE_TOO_LARGE : LZH_WRITE_OUTPUT;
}

void FillInfo(LzhHeaderInfo* info, const LzhPackEntry* entry, const char* method)
{
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->method, method, 6);
    info->name = entry->name;
    info->directory = entry->directory;
    info->creationTime = entry->creationTime;
    info->lastAccessTime = entry->lastAccessTime;
    info->lastWriteTime = entry->lastWriteTime;
}

// The source's bytes, their count and CRC-16, as read so far.
struct SourceRead {
    uint64_t size;
    uint16_t crc;
};

// Packs the whole source with -lh5- or -lh7- into the archive.
int PackSource(LzhArchiveWriter* w, FILE* source, SourceRead* read)
{
    LzhEncoderStart(w->encoder, LzhByteSink{&w->out, SinkToArchive}, w->dictionaryBits);
    read->size = 0;
    read->crc = 0;
    size_t got;
    while ((got = std::fread(w->chunk, 1, sizeof w->chunk, source)) > 0) {
        read->crc = LzhCrc16Update(read->crc, w->chunk, got);
        read->size += got;
        if (read->size > kMaxEntrySize) return LZH_WRITE_TOO_LARGE;
        LzhEncoderWrite(w->encoder, w->chunk, got);
        if (w->out.failed) return OutputResult(&w->out);
    }
    if (std::ferror(source)) return LZH_WRITE_SOURCE;
    LzhEncoderFinish(w->encoder);
    return w->out.failed ? OutputResult(&w->out) : LZH_WRITE_OK;
}

// Copies the source again as it is, over the packed data just written. It
// must still be the file that was packed.
int StoreSource(LzhArchiveWriter* w, FILE* source, const SourceRead& packed)
{
    if (std::fseek(source, 0, SEEK_SET) != 0) return LZH_WRITE_SOURCE;
    SourceRead again = {0, 0};
    size_t got;
    while ((got = std::fread(w->chunk, 1, sizeof w->chunk, source)) > 0) {
        again.crc = LzhCrc16Update(again.crc, w->chunk, got);
        again.size += got;
        if (again.size > packed.size) return LZH_WRITE_CHANGED;
        if (!LzhOutWrite(&w->out, w->chunk, got)) return OutputResult(&w->out);
    }
    if (std::ferror(source)) return LZH_WRITE_SOURCE;
    return again.size == packed.size && again.crc == packed.crc ? LZH_WRITE_OK : LZH_WRITE_CHANGED;
}

// Writes the entry's header at `at` and moves on to the end of its data.
int RewriteHeader(LzhArchiveWriter* w, const LzhHeaderInfo& info, uint32_t at, uint32_t dataEnd)
{
    uint8_t header[LZH_HEADER_CAPACITY];
    const size_t length = LzhComposeHeader(&info, header);
    if (!LzhOutSeek(&w->out, at) || !LzhOutWrite(&w->out, header, length) || !LzhOutSeek(&w->out, dataEnd))
        return OutputResult(&w->out);
    return LZH_WRITE_OK;
}

int AddSource(LzhArchiveWriter* w, const LzhPackEntry* entry, FILE* source)
{
    LzhHeaderInfo info;
    FillInfo(&info, entry, w->dictionaryBits == 16 ? "-lh7-" : "-lh5-");
    uint8_t header[LZH_HEADER_CAPACITY];
    const size_t headerLength = LzhComposeHeader(&info, header);
    if (headerLength == 0) return LZH_WRITE_NAME;
    // The header goes first with its sizes and CRC still unknown; it is
    // written again once the data are in.
    const uint32_t headerAt = LzhOutTell(&w->out);
    if (!LzhOutWrite(&w->out, header, headerLength)) return OutputResult(&w->out);
    const uint32_t dataAt = LzhOutTell(&w->out);

    SourceRead read;
    int result = PackSource(w, source, &read);
    if (result != LZH_WRITE_OK) return result;
    uint64_t packed = LzhEncoderOutput(w->encoder);
    if (packed >= read.size) {
        std::memcpy(info.method, "-lh0-", 6);
        if (!LzhOutSeek(&w->out, dataAt)) return OutputResult(&w->out);
        result = StoreSource(w, source, read);
        if (result != LZH_WRITE_OK) return result;
        packed = read.size;
    }
    info.packedSize = uint32_t(packed);
    info.originalSize = uint32_t(read.size);
    info.dataCrc = read.crc;
    result = RewriteHeader(w, info, headerAt, uint32_t(dataAt + packed));
    if (result == LZH_WRITE_OK) {
        std::memcpy(w->lastMethod, info.method, 6);
        w->lastOriginalSize = info.originalSize;
        w->lastPackedSize = info.packedSize;
    }
    return result;
}

void Release(LzhArchiveWriter* w)
{
    LzhOutClose(&w->out);
    LzhEncoderDestroy(w->encoder);
    w->encoder = nullptr;
}

}  // namespace

int LzhWriterOpen(LzhArchiveWriter* w, const char* path)
{
    w->encoder = nullptr;
    w->out.handle = nullptr;
    const size_t length = std::strlen(path);
    if (length + sizeof ".part" > LZH_WRITER_PATH_SIZE) return LZH_WRITE_NAME;
    std::memcpy(w->path, path, length + 1);
    std::memcpy(w->partPath, path, length);
    std::memcpy(w->partPath + length, ".part", sizeof ".part");
    w->encoder = LzhEncoderCreate();
    if (!w->encoder) return LZH_WRITE_MEMORY;
    w->dictionaryBits = 13;
    if (LzhOutOpen(&w->out, w->partPath) != 0) {
        Release(w);
        return LZH_WRITE_OUTPUT;
    }
    return LZH_WRITE_OK;
}

int LzhWriterAddFile(LzhArchiveWriter* w, const LzhPackEntry* entry, const char* sourcePath)
{
    FILE* source = std::fopen(sourcePath, "rb");
    if (!source) return LZH_WRITE_SOURCE;
    const int result = AddSource(w, entry, source);
    (void)std::fclose(source);  // read only: nothing to lose
    return result;
}

int LzhWriterAddDirectory(LzhArchiveWriter* w, const LzhPackEntry* entry)
{
    LzhHeaderInfo info;
    FillInfo(&info, entry, "-lhd-");
    info.name = "";
    uint8_t header[LZH_HEADER_CAPACITY];
    const size_t length = LzhComposeHeader(&info, header);
    if (length == 0) return LZH_WRITE_NAME;
    if (!LzhOutWrite(&w->out, header, length)) return OutputResult(&w->out);
    std::memcpy(w->lastMethod, "-lhd-", 6);
    w->lastOriginalSize = w->lastPackedSize = 0;
    return LZH_WRITE_OK;
}

int LzhWriterClose(LzhArchiveWriter* w)
{
    // An entry stored after all may have left packed bytes beyond the end.
    const uint8_t endMark = 0;
    bool ok = LzhOutWrite(&w->out, &endMark, 1);
    const uint32_t length = LzhOutTell(&w->out);
    if (ok && w->out.end > length) ok = LzhOutTruncate(&w->out, length);
    Release(w);
    ok = ok && !w->out.failed;
    // Where a rename cannot replace a file, the old archive goes first.
    if (ok && std::rename(w->partPath, w->path) != 0)
        ok = std::remove(w->path) == 0 && std::rename(w->partPath, w->path) == 0;
    if (!ok) {
        (void)std::remove(w->partPath);  // already failing: a leftover part file is harmless
        return LZH_WRITE_OUTPUT;
    }
    return LZH_WRITE_OK;
}

void LzhWriterAbandon(LzhArchiveWriter* w)
{
    Release(w);
    (void)std::remove(w->partPath);  // best effort: a leftover part file is harmless
}

const char* LzhWriteResultText(int result)
{
    switch (result) {
    case LZH_WRITE_OK: return "packed";
    case LZH_WRITE_SOURCE: return "cannot be read";
    case LZH_WRITE_OUTPUT: return "the archive cannot be written";
    case LZH_WRITE_TOO_LARGE: return "too large for an LZH archive (entries below 4 GB, archives below 2 GB)";
    case LZH_WRITE_NAME: return "name or directory longer than 240 bytes";
    case LZH_WRITE_CHANGED: return "changed while it was being packed";
    case LZH_WRITE_MEMORY: return "out of memory";
    }
    return "unknown failure";
}
