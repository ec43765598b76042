// The input as the updater's command line. Each argument read is the start
// of its quoted text: all of it when it fits, else the longest run of whole
// characters that does; the folder gets a separator unless it ends in one.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/engine/fuzz_check.h"
#include "common/sjis.h"
#include "tidewell/updater/command_line.h"

namespace {

// The texts between the first pairs of double quotes.
std::vector<std::string> QuotedTexts(const char* text)
{
    std::vector<std::string> quoted;
    for (const char* open = std::strchr(text, '"'); open != nullptr && quoted.size() < 3;) {
        const char* close = std::strchr(open + 1, '"');
        if (close == nullptr) break;
        quoted.emplace_back(open + 1, close);
        open = std::strchr(close + 1, '"');
    }
    return quoted;
}

// The longest start of quoted that holds whole characters within the bound.
std::string Kept(const std::string& quoted)
{
    size_t n = 0;
    while (n < quoted.size()) {
        const size_t length = SjisCharLength(quoted.c_str() + n);
        if (n + length > kArgumentMax) break;
        n += length;
    }
    return quoted.substr(0, n);
}

bool EndsWithSeparator(const std::string& text)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size(); i += SjisCharLength(text.c_str() + i)) last = i;
    return last != std::string::npos && SjisCharLength(text.c_str() + last) == 1 &&
           (text[last] == '\\' || text[last] == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str();
    const std::vector<std::string> quoted = QuotedTexts(text);

    CommandLineArgs args;
    std::memset(&args, 0x5A, sizeof args);
    FUZZ_CHECK(ParseCommandLine(text, &args) == !quoted.empty());
    FUZZ_CHECK(args.hasUrl == (quoted.size() >= 1));
    FUZZ_CHECK(args.hasInfoFile == (quoted.size() >= 2));
    FUZZ_CHECK(args.hasFolder == (quoted.size() >= 3));
    FUZZ_CHECK(args.url == (quoted.size() >= 1 ? Kept(quoted[0]) : ""));
    FUZZ_CHECK(args.infoFile == (quoted.size() >= 2 ? Kept(quoted[1]) : ""));
    if (quoted.size() < 3) {
        FUZZ_CHECK(args.folder[0] == '\0');
        return 0;
    }
    const std::string folder = Kept(quoted[2]);
    FUZZ_CHECK(args.folder == (EndsWithSeparator(folder) ? folder : folder + "\\"));
    return 0;
}
