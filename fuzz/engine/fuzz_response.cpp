// Feeds the input to the response reader in chunks whose sizes come from the
// input's first bytes, and checks the outcome against one whole-input feed:
// how a stream is cut into chunks must not change what is read from it.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "marrowby/engine/http_exchange.h"
#include "marrowby/engine/http_result.h"
#include "marrowby/engine/response.h"
#include "safe_name_check.h"

namespace {

constexpr size_t kPatternLength = 4;

struct Outcome {
    int32_t stopResult = 0;  // first failure code, or 0
    std::string body;
};

std::unique_ptr<HttpExchange> NewExchange(int32_t version)
{
    auto exchange = std::make_unique<HttpExchange>();
    std::memset(exchange.get(), 0, sizeof *exchange);
    ResetExchange(*exchange);
    exchange->method = kMethodGet;
    exchange->version = version;
    ParseUrl("http://example.com/dir/sub/file.zip", nullptr, exchange->url);
    return exchange;
}

bool IsFailure(int32_t result)
{
    return result == kHttpHeaderTooLong || result == kHttpMalformed;
}

// Feeds one chunk; returns false once the reader has failed.
bool Feed(HttpExchange& exchange, const char* data, size_t length, Outcome& outcome)
{
    const int32_t headersBefore = exchange.headersComplete;
    size_t offset = 0;
    size_t count = 0;
    std::string received(data, length);  // a chunked body is decoded in place
    const int32_t result = FeedResponse(exchange, received.data(), length, offset, count);
    FUZZ_CHECK(result == kFeedNeedMore || result == kFeedHeadersComplete || result == kFeedBodyComplete ||
               IsFailure(result));
    FUZZ_CHECK(offset <= length && count <= length - offset);
    FUZZ_CHECK(exchange.filled >= 0 && exchange.filled <= static_cast<int32_t>(kHeaderBlockMax));
    // The payload decoded before a broken chunk comes with the failure.
    outcome.body.append(received.data() + offset, count);
    if (IsFailure(result)) {
        outcome.stopResult = result;
        return false;
    }
    if (result == kFeedHeadersComplete) {
        FUZZ_CHECK(!headersBefore && offset > 0 && data[offset - 1] == '\n');
    }
    return true;
}

void CheckFields(const HttpExchange& exchange)
{
    const ResponseSummary& r = exchange.response;
    CheckTerminated(r.fileName);
    CheckSafeLocalFileName(r.fileName);  // the raw name always gives a safe local one
    CheckTerminated(r.contentType);
    CheckTerminated(r.server);
    CheckTerminated(exchange.realm);
    CheckTerminated(exchange.user);
    CheckTerminated(exchange.password);
    CheckTerminated(exchange.url.path);
    FUZZ_CHECK(r.contentLength >= 0);
    FUZZ_CHECK(r.bodyReceived >= 0);
    if (r.contentLength > 0) FUZZ_CHECK(r.bodyReceived <= r.contentLength);
    FUZZ_CHECK(r.date >= 0 && r.lastModified >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kPatternLength + 1) return 0;
    const uint8_t* pattern = data;
    const int32_t version = (data[kPatternLength] & 1) ? kHttpVersion09 : kHttpVersion10;
    const char* stream = reinterpret_cast<const char*>(data + kPatternLength + 1);
    const size_t streamLength = size - kPatternLength - 1;

    auto whole = NewExchange(version);
    Outcome wholeOutcome;
    Feed(*whole, stream, streamLength, wholeOutcome);
    CheckFields(*whole);

    auto chunked = NewExchange(version);
    Outcome chunkedOutcome;
    size_t position = 0;
    for (size_t i = 0; position < streamLength; ++i) {
        // A zero in the pattern feeds an empty chunk, then one byte, so that
        // every pattern makes progress.
        size_t chunk = pattern[i % kPatternLength];
        if (chunk == 0) {
            if (!Feed(*chunked, stream + position, 0, chunkedOutcome)) break;
            chunk = 1;
        }
        if (chunk > streamLength - position) chunk = streamLength - position;
        if (!Feed(*chunked, stream + position, chunk, chunkedOutcome)) break;
        position += chunk;
    }
    CheckFields(*chunked);

    FUZZ_CHECK(wholeOutcome.stopResult == chunkedOutcome.stopResult);
    FUZZ_CHECK(wholeOutcome.body == chunkedOutcome.body);
    FUZZ_CHECK(whole->headersComplete == chunked->headersComplete);
    if (wholeOutcome.stopResult == 0) {
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): both exchanges were zeroed whole, padding too
        FUZZ_CHECK(std::memcmp(&whole->response, &chunked->response, sizeof whole->response) == 0);
        FUZZ_CHECK(std::strcmp(whole->url.path, chunked->url.path) == 0);
        FUZZ_CHECK(std::strcmp(whole->realm, chunked->realm) == 0);
        FUZZ_CHECK(whole->authScheme == chunked->authScheme);
    }
    return 0;
}
