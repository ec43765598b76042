// Why a download failed, in the words the status column shows: the string
// id of the reason, with the HTTP status and its phrase where the server
// gave one. Also the stored form of a failure in list files.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct FailureReason {
    int textId;          // a string table id (IDS_REASON_...)
    int32_t httpStatus;  // for IDS_REASON_HTTP_STATUS; else 0
    const char* phrase;  // the status's reason phrase; "" when none is known
};

// The reason of a JobFailure and its detail (the HTTP status, or the system
// error code of a file that could not be written).
FailureReason ReasonOfFailure(int32_t failure, int32_t detail);

// The standard reason phrase of an HTTP status ("Not Found"), or "".
const char* HttpReasonPhrase(int32_t status);

// Stored form: "<keyword>" or "<keyword> <detail>" ("http-status 404").
// Format writes "" for JobFailureNone. Parse returns false (and leaves 0, 0)
// for text that names no known failure.
constexpr size_t kStoredFailureSize = 48;
void FormatStoredFailure(int32_t failure, int32_t detail, char* out, size_t capacity);
bool ParseStoredFailure(const char* text, int32_t* failure, int32_t* detail);
