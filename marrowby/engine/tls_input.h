// Bookkeeping of the received TLS bytes of one connection. The socket
// receives straight into the job's buffer behind the bytes still waiting;
// records are decrypted in place, and a record cut by the end of a receive
// stays where it is until the rest arrives. Only when the room behind it
// could no longer take a whole record is it moved to the buffer's start.
// No platform calls: the Schannel side lives in tls_session.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kTlsRecordHeaderSize = 5;
// The largest record a peer may send: header, 2^14 bytes of data and the
// most expansion any protocol version allows.
constexpr size_t kTlsLargestRecord = kTlsRecordHeaderSize + 16384 + 2048;
constexpr uint8_t kTlsAlertRecord = 21;

struct TlsInput {
    char* data;
    size_t capacity;
    size_t start;  // first byte not yet processed
    size_t end;    // end of the received bytes
};

struct ReceiveSpan {
    char* data;
    size_t length;
};

void ResetTlsInput(TlsInput& input, char* data, size_t capacity);

inline size_t PendingTlsBytes(const TlsInput& input)
{
    return input.end - input.start;
}

inline char* FirstPendingByte(const TlsInput& input)
{
    return input.data + input.start;
}

// count bytes arrived in the span NextReceiveSpan gave.
void TakeReceived(TlsInput& input, size_t count);

// The layer below has used everything but the last `unprocessed` bytes.
void KeepUnprocessed(TlsInput& input, size_t unprocessed);

// Where the next receive goes: behind the pending bytes. Moves them to the
// start first when less than a whole record would fit behind them. A length
// of 0 means the buffer is full of one record that cannot be complete.
ReceiveSpan NextReceiveSpan(TlsInput& input);

// The content type of the first pending record, or -1 before its first byte
// has arrived. Records keep their real type on the wire up to TLS 1.2.
int32_t FirstRecordType(const TlsInput& input);

// Decrypted data of several records gathered into one run, so the layer
// above sees one piece per receive instead of one per record.
struct PlainRun {
    char* data;
    size_t length;
};

// One record as the layer below decrypted it: where it lay in the buffer and
// where its data came back.
struct DecryptedRecord {
    char* start;
    size_t length;
    char* plain;
    size_t plainLength;
};

// Appends the record's data to the run. The first piece stays where it is
// when it came back inside its record; the run always ends before the record
// that is decrypted next, so the move never touches pending bytes.
void AppendPlain(PlainRun& run, const DecryptedRecord& record);
