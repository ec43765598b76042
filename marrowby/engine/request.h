// Composes the HTTP request text of an exchange.
#pragma once

#include <cstddef>
#include <cstdint>

#include "marrowby/engine/http_exchange.h"

// Longest Authorization line: "Authorization: Basic " + 76 characters + CRLF.
constexpr size_t kBasicCredentialsLineMax = 21 + 76 + 2;

// Writes the whole request into buffer (capacity bytes, terminator included)
// and its length (without terminator) into length.
// Returns 0; kHttpBadMethodOrVersion for an unknown method or version;
// kHttpAuthSchemeUnsupported for authScheme kAuthUnsupported;
// kHttpRequestTooLong when the text plus terminator exceeds capacity.
// On every failure length is 0 and the buffer (if capacity > 0) is empty, so
// a caller that ignores the result sends nothing rather than a cut request.
int32_t ComposeRequest(const HttpExchange& exchange, char* buffer, size_t capacity, size_t& length);

// Writes the "Authorization: Basic ..." line (with CRLF, terminated) for the
// exchange's user and password and returns its length; returns 0 and writes
// an empty text when capacity is below kBasicCredentialsLineMax + 1.
size_t ComposeBasicCredentials(const HttpExchange& exchange, char* buffer, size_t capacity);
