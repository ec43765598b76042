// Steps of the response reader, exposed for the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "marrowby/engine/decimal.h"
#include "marrowby/engine/http_exchange.h"

inline bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Parses the completed block's status line; moves lineStart past it.
// 0 or kHttpMalformed.
int32_t ParseStatusLine(HttpExchange& exchange);

// Parses the header lines from lineStart to the empty line.
// 0 or kHttpMalformed.
int32_t ParseHeaderLines(HttpExchange& exchange);

// Applies one header. A received name matches a known name whose first
// nameLength characters equal it, letter case ignored. 0 or kHttpMalformed.
int32_t ApplyHeader(HttpExchange& exchange, const char* name, size_t nameLength, const char* value);

// "bytes first-last/total" of a 206 response. 0 or kHttpMalformed.
int32_t ParseContentRange(HttpExchange& exchange, const char* value);

// Basic challenge with an optional quoted realm. 0 or kHttpMalformed.
int32_t ParseAuthChallenge(HttpExchange& exchange, const char* value);

// "attachment; filename=..." (or filename*=) sets fileName and its charset.
// 0, or 1 when not understood (fileName then unchanged).
int32_t ParseContentDisposition(HttpExchange& exchange, const char* value);

// Absolute http or https URL or relative reference replaces the URL.
// 0 or kHttpMalformed.
int32_t ApplyLocation(HttpExchange& exchange, const char* value);

// Counts count body bytes, cutting count at Content-Length.
// Returns true when the body is complete.
bool CountBody(HttpExchange& exchange, size_t& count);
