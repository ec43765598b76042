// Checks of a parsed host shared by the URL fuzz targets.
#pragma once

#include <cstdio>
#include <cstring>

#include "fuzz_check.h"
#include "marrowby/engine/url.h"

// A host written as it goes into a URL or header, with its port, splits
// again into the same host and port.
inline void CheckHostTextRoundTrip(const char* host, uint16_t port)
{
    char text[kHostTextSize];
    HostText(host, text, sizeof text);
    char withPort[kHostTextSize + 8];
    std::snprintf(withPort, sizeof withPort, "%s:%u", text, static_cast<unsigned>(port));
    char again[kUrlHostMax + 1];
    uint16_t againPort = 0;
    FUZZ_CHECK(SplitHostPort(withPort, again, sizeof again, againPort) == 0);
    FUZZ_CHECK(std::strcmp(again, host) == 0 && againPort == port);
}
