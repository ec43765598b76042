#include "marrowby/engine/tls_input.h"

#include <cstring>

void ResetTlsInput(TlsInput& input, char* data, size_t capacity)
{
    input.data = data;
    input.capacity = capacity;
    input.start = 0;
    input.end = 0;
}

void TakeReceived(TlsInput& input, size_t count)
{
    const size_t room = input.capacity - input.end;
    input.end += count < room ? count : room;
}

void KeepUnprocessed(TlsInput& input, size_t unprocessed)
{
    const size_t pending = PendingTlsBytes(input);
    input.start = input.end - (unprocessed < pending ? unprocessed : pending);
    if (input.start == input.end) {
        input.start = 0;
        input.end = 0;
    }
}

ReceiveSpan NextReceiveSpan(TlsInput& input)
{
    const size_t pending = PendingTlsBytes(input);
    if (input.start > 0 && input.capacity - input.end < kTlsLargestRecord) {
        std::memmove(input.data, input.data + input.start, pending);
        input.start = 0;
        input.end = pending;
    }
    ReceiveSpan span = {input.data + input.end, input.capacity - input.end};
    return span;
}

int32_t FirstRecordType(const TlsInput& input)
{
    if (PendingTlsBytes(input) == 0) return -1;
    return static_cast<uint8_t>(input.data[input.start]);
}

void AppendPlain(PlainRun& run, const DecryptedRecord& record)
{
    if (record.plainLength == 0) return;
    if (run.length == 0) {
        // Decrypted in place: nothing to move.
        const char* recordEnd = record.start + record.length;
        if (record.plain >= record.start && record.plain + record.plainLength <= recordEnd) {
            run.data = record.plain;
            run.length = record.plainLength;
            return;
        }
        run.data = record.start;
    }
    std::memmove(run.data + run.length, record.plain, record.plainLength);
    run.length += record.plainLength;
}
