// What the segment tests look at from outside: a file's bytes against the
// served pattern, the requests nginx logged (client address and Range
// header), lines of a proxy's log, and a file of the served pattern put
// into nginx's folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/transfer/tool_runner.h"
#include "tests/transfer/transfer_support.h"

// The file holds exactly size bytes of the pattern the servers serve
// starting at byte shift; read in pieces, so large files need no large
// string. Otherwise where it first differs.
inline testing::AssertionResult FileHoldsPattern(const std::string& path, int64_t size, int64_t shift = 0)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return testing::AssertionFailure() << path << " cannot be opened";
    std::string chunk(1 << 20, '\0');
    int64_t at = 0;
    size_t got;
    while ((got = fread(&chunk[0], 1, chunk.size(), file)) > 0) {
        std::string expected = Pattern(shift + at, got);
        for (size_t i = 0; i < got; ++i) {
            if (at + (int64_t)i >= size || chunk[i] != expected[i]) {
                fclose(file);
                return testing::AssertionFailure() << path << " differs at byte " << at + (int64_t)i;
            }
        }
        at += (int64_t)got;
    }
    fclose(file);
    if (at != size) return testing::AssertionFailure() << path << " has " << at << " bytes, not " << size;
    return testing::AssertionSuccess();
}

// Writes size bytes of the served pattern as www/name of the servers.
inline void ServePatternFile(const std::string& name, int64_t size)
{
    FILE* file = fopen((ServerDir() + "\\www\\" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    for (int64_t at = 0; at < size; at += 1 << 20) {
        int64_t piece = size - at < (1 << 20) ? size - at : (1 << 20);
        std::string bytes = Pattern(at, (size_t)piece);
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    fclose(file);
}

struct NginxRequest {
    std::string client;  // remote address as nginx logged it
    std::string range;   // the Range header, "-" for none
    int status = 0;
};

inline size_t ServerLogSize(const char* name)
{
    return ReadFileBytes(ServerDir() + "\\" + name).size();
}

// The GETs of target (path and query exactly) that nginx logged after the
// log had skip bytes.
inline std::vector<NginxRequest> NginxRequestsOf(size_t skip, const std::string& target)
{
    std::string log = ReadFileBytes(ServerDir() + "\\nginx-access.log");
    std::vector<NginxRequest> requests;
    for (const std::string& line : SplitLines(log.substr(skip < log.size() ? skip : log.size()))) {
        size_t request = line.find(" \"GET " + target + " HTTP/");
        if (request == std::string::npos) continue;
        NginxRequest found;
        found.client = line.substr(0, request);
        size_t range = line.find("\" \"", request);
        if (range == std::string::npos) continue;
        size_t rangeEnd = line.find('"', range + 3);
        found.range = line.substr(range + 3, rangeEnd - range - 3);
        found.status = atoi(line.c_str() + rangeEnd + 2);
        requests.push_back(found);
    }
    return requests;
}

inline int RangedCount(const std::vector<NginxRequest>& requests)
{
    int ranged = 0;
    for (const NginxRequest& request : requests) ranged += request.range.compare(0, 6, "bytes=") == 0;
    return ranged;
}

// How often text occurs in the server folder's file name after skip bytes.
inline int CountInServerLog(const char* name, size_t skip, const std::string& text)
{
    std::string log = ReadFileBytes(ServerDir() + "\\" + name);
    int count = 0;
    for (size_t at = log.find(text, skip); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
}
