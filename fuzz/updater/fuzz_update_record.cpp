// Any bytes as a fetched update record: the length checks, the comparison
// against an installed record, every text and the notes must stay inside
// the record, and the information file name taken from it is safe; the same
// bytes as a command line and as a URL path.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/engine/fuzz_check.h"
#include "fuzz/engine/safe_name_check.h"
#include "tidewell/updater/command_line.h"
#include "tidewell/updater/fetch_names.h"
#include "tidewell/updater/info_file_name.h"
#include "tidewell/updater/update_record.h"
#include "tidewell/updater/version_compare.h"

namespace {

std::vector<uint8_t> InstalledRecord()
{
    std::vector<uint8_t> r(370, 0);
    std::memcpy(r.data(), "TDWL\x02", 5);
    r[15] = 1;  // version 1.0.0.0
    return r;
}

void CheckTexts(RecordView record)
{
    static const uint32_t kOffsets[] = {kRecord2ProductNameOffset, kRecord2ProgramOffset, kRecord2InfoUrlOffset,
                                        kRecord2ArchiveUrlOffset, kRecord1ArchiveUrlOffset};
    for (uint32_t offset : kOffsets) {
        for (size_t capacity : {size_t(1), size_t(2), size_t(128), size_t(2084)}) {
            std::vector<char> out(capacity, 'Z');
            size_t n = RecordText(record, offset, out.data(), capacity);
            FUZZ_CHECK(n < capacity && out[n] == '\0' && std::strlen(out.data()) == n);
            FUZZ_CHECK(offset + n <= record.size || n == 0);
        }
    }
    uint32_t units = 0;
    RecordNotes(record, RecordNotesOffset(record), &units);
    FUZZ_CHECK(units == 0 || RecordNotesOffset(record) + 2 * units <= record.size);
}

// The name a new information file gets from the record's URL is a safe
// local name, or none.
void CheckInformationFileName(RecordView record)
{
    for (size_t capacity : {size_t(1), size_t(13), size_t(kDownloadNameSize)}) {
        std::vector<char> out(capacity, 'Z');
        const int result = InformationFileName(record, "", out.data(), capacity);
        FUZZ_CHECK(std::memchr(out.data(), '\0', capacity) != nullptr);
        FUZZ_CHECK((result == 0) == (out[0] != '\0'));
        CheckSafe(out.data());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The record in a buffer of its own size, so reads past it are caught.
    std::vector<uint8_t> bytes(data, data + size);
    RecordView fetched{bytes.empty() ? nullptr : bytes.data(), static_cast<uint32_t>(size)};
    std::vector<uint8_t> installed = InstalledRecord();
    RecordView have{installed.data(), static_cast<uint32_t>(installed.size())};
    for (RecordView against : {RecordView{nullptr, 0}, have}) {
        Comparison c = CompareRecords(against, fetched);
        FUZZ_CHECK(c.result >= -4 && c.result <= 1);
        if (c.result <= 0 && c.result != kCompareUnusable && c.result != kCompareOtherProduct) {
            // What the dialog and the steps read next must lie in the record.
            FUZZ_CHECK(RecordFormat(fetched) >= 0);
            FUZZ_CHECK(fetched.size >= (RecordFormat(fetched) == 1 ? kRecord1FixedSize : kRecord2FixedSize));
            RecordVersion(fetched);
            RecordFlags(fetched);
            RecordArchiveCrc(fetched);
            CheckTexts(fetched);
            CheckInformationFileName(fetched);
        }
    }

    std::string text(reinterpret_cast<const char*>(data), size);
    CommandLineArgs args;
    if (ParseCommandLine(text.c_str(), &args)) {
        FUZZ_CHECK(std::strlen(args.url) <= kArgumentMax);
        FUZZ_CHECK(std::strlen(args.infoFile) <= kArgumentMax);
        FUZZ_CHECK(std::strlen(args.folder) <= kArgumentMax + 1);
    }
    char name[kDownloadNameSize];
    DownloadFileName(text.c_str(), name, sizeof(name));
    FUZZ_CHECK(name[0] != '\0');
    CheckSafe(name);
    char path[kOutputPathSize];
    if (BuildOutputPath(text.c_str(), name, path, sizeof(path)) == 0) FUZZ_CHECK(std::strlen(path) < kOutputPathSize);
    char folder[260];
    if (InstallFolderFromProgramPath(text.c_str(), folder, sizeof(folder)) == 0)
        FUZZ_CHECK(std::strlen(folder) < sizeof(folder));
    return 0;
}
