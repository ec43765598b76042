// The input as a plain URL list to import: read in pieces of the import's
// line size, with the reads cut at sizes taken from the input's first bytes,
// each cut at its line end and parsed as the import does. A line that is
// taken is an http or https URL whose parts are sound and whose file name
// gives a safe local name.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/app/line_fuzz_support.h"
#include "fuzz/engine/safe_name_check.h"
#include "fuzz/engine/url_check.h"
#include "marrowby/engine/url.h"

namespace {

void ImportLine(char* line)
{
    // CR and LF are never trail bytes: the first one ends the line.
    line[std::strcspn(line, "\r\n")] = '\0';
    UrlParts parts;
    ResetUrl(parts);
    if (ParseUrl(line, nullptr, parts) != 0 || !IsDownloadableScheme(parts.scheme)) return;

    // Only the schemes http and https are taken, in any letter case.
    const size_t schemeLength = std::strcspn(line, ":");
    FUZZ_CHECK(std::strlen(parts.schemeText) == schemeLength);
    FUZZ_CHECK(SameTextIgnoringCase(parts.schemeText, "http") == 0 ||
               SameTextIgnoringCase(parts.schemeText, "https") == 0);
    FUZZ_CHECK(parts.path[0] == '/');
    FUZZ_CHECK(std::strlen(parts.user) <= kUrlUserMax && std::strlen(parts.password) <= kUrlPasswordMax);
    CheckHostTextRoundTrip(parts.host, parts.port);
    CheckSafeLocalFileName(parts.fileName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kReadPatternLength) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + kReadPatternLength), size - kReadPatternLength);
    ReadCheckedPieces(bytes, data, kUrlListLineSize, ImportLine);
    return 0;
}
