// Composes the HTTP request text of an exchange.
#pragma once

#include <cstddef>
#include <cstdint>

#include "marrowby/engine/base64.h"
#include "marrowby/engine/http_exchange.h"

// Longest Authorization line: "Authorization: Basic " + 76 characters + CRLF.
constexpr size_t kBasicCredentialsLineMax = 21 + 76 + 2;

// Longest Proxy-Authorization line: "Proxy-Authorization: Basic " + the
// whole "user:password" encoded + CRLF.
constexpr size_t kProxyCredentialsLineMax = 27 + Base64EncodedSize(2 * kCredentialMax + 1) - 1 + 2;

// Writes the whole request into buffer. Plain http through a proxy uses the
// absolute form (with the proxy's login when one is set); everything else,
// https through a proxy tunnel included, uses the origin form. The Host
// header leaves out the port when it is the scheme's default.
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

// True when the exchange holds a login for the proxy.
bool HasProxyLogin(const HttpExchange& exchange);

// Writes the "Proxy-Authorization: Basic ..." line (with CRLF, terminated)
// for the proxy's login and returns its length; returns 0 and writes an empty
// text when no proxy login is set or capacity is below
// kProxyCredentialsLineMax + 1.
size_t ComposeProxyCredentials(const HttpExchange& exchange, char* buffer, size_t capacity);
