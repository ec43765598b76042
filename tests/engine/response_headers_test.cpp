#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "marrowby/engine/http_result.h"
#include "marrowby/engine/response_internal.h"
#include "response_test_support.h"

namespace {

int32_t Apply(HttpExchange& exchange, const char* name, const char* value)
{
    return ApplyHeader(exchange, name, std::strlen(name), value);
}

TEST(ContentRange, AcceptedOnlyWhenConsistent)
{
    struct Case {
        const char* value;
        int32_t result;
        int64_t first;
        int64_t remaining;
        int64_t total;
    } cases[] = {
        {"bytes 100-199/200", kHttpOk, 100, 100, 200},
        {"bytes 0-0/1", kHttpOk, 0, 1, 1},
        {"bytes=5-9/10", kHttpOk, 5, 5, 10},
        {"bytes 100-199/50", kHttpMalformed, 0, 0, 0},
        {"bytes 100-199/199", kHttpMalformed, 0, 0, 0},
        {"bytes 200-100/300", kHttpMalformed, 0, 0, 0},
        {"bytes 0-499/*", kHttpMalformed, 0, 0, 0},
        {"bytes 100/200", kHttpMalformed, 0, 0, 0},
        {"bytes 100-199", kHttpMalformed, 0, 0, 0},
        {"bytes */200", kHttpMalformed, 0, 0, 0},
        {"bytes", kHttpMalformed, 0, 0, 0},
        {"", kHttpMalformed, 0, 0, 0},
        {"bytes 0-99999999999999/99999999999999999", kHttpOk, 0, 99999999999999999, 99999999999999999},
        // 64-bit positions: at 2^31, 2^32, a resume at 4.5 GiB, the largest.
        {"bytes 2147483648-2147483648/2147483649", kHttpOk, 2147483648, 1, 2147483649},
        {"bytes 4294967296-5368709119/5368709120", kHttpOk, 4294967296, 1073741824, 5368709120},
        {"bytes 4831838208-4999999999/5000000000", kHttpOk, 4831838208, 168161792, 5000000000},
        {"bytes 0-9223372036854775806/9223372036854775807", kHttpOk, 0, INT64_MAX, INT64_MAX},
        // A number beyond 64 bits is refused, wherever it stands.
        {"bytes 0-9223372036854775807/9223372036854775808", kHttpMalformed, 0, 0, 0},
        {"bytes 9223372036854775808-9223372036854775809/9223372036854775810", kHttpMalformed, 0, 0, 0},
        {"bytes 1-18446744073709551617/18446744073709551618", kHttpMalformed, 0, 0, 0},
        {"bytes 0-1/99999999999999999999999", kHttpMalformed, 0, 0, 0},
    };
    for (const Case& c : cases) {
        auto exchange = NewExchange();
        exchange->response.status = 206;
        EXPECT_EQ(c.result, Apply(*exchange, "Content-Range", c.value)) << c.value;
        EXPECT_EQ(c.first, exchange->response.rangeFirst) << c.value;
        EXPECT_EQ(c.remaining, exchange->response.rangeRemaining) << c.value;
        EXPECT_EQ(c.total, exchange->response.totalSize) << c.value;
    }
}

TEST(ContentRange, IgnoredUnlessPartialContent)
{
    auto exchange = NewExchange();
    exchange->response.status = 200;
    exchange->response.rangeFirst = 7;
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Content-Range", "bytes 100-199/50"));
    EXPECT_EQ(0, exchange->response.rangeFirst);
    EXPECT_EQ(0, exchange->response.totalSize);
}

TEST(AcceptRanges, OnlyBytesCounts)
{
    const struct {
        const char* value;
        int32_t accepts;
    } cases[] = {{"bytes", 1}, {" Bytes", 1}, {"bytes, other", 1}, {"none", 0}, {"bytesx", 0}, {"", 0}};
    for (const auto& c : cases) {
        HttpExchange exchange = {};
        exchange.response.acceptsRanges = 1 - c.accepts;
        EXPECT_EQ(kHttpOk, Apply(exchange, "Accept-Ranges", c.value));
        EXPECT_EQ(c.accepts, exchange.response.acceptsRanges) << c.value;
    }
}

TEST(AuthChallenge, BasicRealmForms)
{
    struct Case {
        const char* value;
        int32_t result;
        const char* realm;
    } cases[] = {
        {"Basic realm=\"Members\"", kHttpOk, "Members"},
        {"BASIC realm=\"x y\"", kHttpOk, "x y"},
        {"basic Realm=\"r\", charset=\"UTF-8\"", kHttpOk, "r"},
        {"Basic charset=UTF-8,   realm=\"late\"", kHttpOk, "late"},
        {"Basic realm=\"\"", kHttpOk, ""},
        {"Basic foo, realm=\"after-flag\"", kHttpOk, "after-flag"},
        {"Basic charset=\"UTF-8\"", kHttpOk, "old"},
        // Scanning resumes right after another name's "=" and after the
        // realm's closing mark, not at the next comma.
        {"Basic title=realm=\"inner\"", kHttpOk, "inner"},
        {"Basic realm=\"first\"realm=\"second\"", kHttpOk, "second"},
        {"Basic realm=\"first\" realm=\"second\"", kHttpOk, "second"},
        {"Basic realm=\"ok\" realm=bad", kHttpMalformed, "ok"},
        {"Basic realm=unquoted", kHttpMalformed, "old"},
        {"Basic realm=\"open", kHttpMalformed, "old"},
        {"Basic", kHttpMalformed, "old"},
        {"Digest realm=\"r\"", kHttpMalformed, "old"},
        {"Basicx realm=\"r\"", kHttpMalformed, "old"},
    };
    for (const Case& c : cases) {
        auto exchange = NewExchange();
        exchange->response.status = 401;
        std::strcpy(exchange->realm, "old");
        EXPECT_EQ(c.result, Apply(*exchange, "WWW-Authenticate", c.value)) << c.value;
        EXPECT_STREQ(c.realm, exchange->realm) << c.value;
    }
}

TEST(AuthChallenge, LongRealmIsCutAndOtherStatusIgnored)
{
    auto exchange = NewExchange();
    exchange->response.status = 401;
    const std::string value = "Basic realm=\"" + std::string(100, 'r') + "\"";
    EXPECT_EQ(kHttpOk, Apply(*exchange, "WWW-Authenticate", value.c_str()));
    EXPECT_EQ(std::string(kRealmMax, 'r'), exchange->realm);

    auto ok = NewExchange();
    ok->response.status = 200;
    EXPECT_EQ(kHttpOk, Apply(*ok, "WWW-Authenticate", "Digest nonce=1"));
    EXPECT_EQ(kAuthNone, ok->authScheme);
}

TEST(ContentDisposition, Forms)
{
    struct Case {
        const char* value;
        const char* fileName;
    } cases[] = {
        {"attachment; filename=a.zip", "a.zip"},
        {"Attachment;filename=b.zip", "b.zip"},
        {"attachment; FILENAME = c.zip   ", "c.zip"},
        {"attachment; filename=\"quoted name.zip\"", "quoted name.zip"},
        {"attachment; filename==d.zip; size=3", "d.zip"},
        {"attachment filename=e.zip", "e.zip"},
        {"inline; filename=x.zip", "x.zip"},
        {"form-data; name=\"f\"; filename=\"g.zip\"", "g.zip"},
        {"filename=\"h.zip\"", "h.zip"},  // no type at all
        {"attachment; filename=\"\"", "file.zip"},
        {"attachment; name=x.zip", "file.zip"},
        // Every parameter is read, not only the first.
        {"attachment; size=1; filename=f.zip", "f.zip"},
        {"attachment", "file.zip"},
        {"", "file.zip"},
    };
    for (const Case& c : cases) {
        auto exchange = NewExchange();
        EXPECT_EQ(kHttpOk, Apply(*exchange, "Content-Disposition", c.value)) << c.value;
        EXPECT_STREQ(c.fileName, exchange->response.fileName) << c.value;
    }
}

// The field keeps the name as the server meant it, unquoted and decoded;
// making a local name of it is done apart (safe_file_name_test.cpp).
TEST(ServerFileName, IsKeptUnquotedWithItsSeparators)
{
    auto exchange = NewExchange();
    Apply(*exchange, "Content-Disposition", "attachment; filename=..\\..\\Startup\\run.exe");
    EXPECT_STREQ("..\\..\\Startup\\run.exe", exchange->response.fileName);
    Apply(*exchange, "Content-Disposition", "attachment; filename=C:/x/../y.exe");
    EXPECT_STREQ("C:/x/../y.exe", exchange->response.fileName);
    Apply(*exchange, "Content-Disposition", "attachment; filename=\x95\x5C\x81\x5C.zip");
    EXPECT_STREQ("\x95\x5C\x81\x5C.zip", exchange->response.fileName);
    EXPECT_EQ(kNameCodePage, exchange->response.fileNameCharset);
    Apply(*exchange, "Content-Disposition", "attachment; filename=\"..\\x\"; size=3");
    EXPECT_STREQ("..\\x", exchange->response.fileName);

    Apply(*exchange, "Location", "http://h/dir/..\\..\\evil.exe");
    EXPECT_STREQ("..\\..\\evil.exe", exchange->response.fileName);
    EXPECT_STREQ("..\\..\\evil.exe", exchange->url.fileName);
    Apply(*exchange, "Location", "sub/a\\b.exe");
    EXPECT_STREQ("a\\b.exe", exchange->response.fileName);
    // A Location's escapes are decoded for the name, UTF-8 recognised.
    Apply(*exchange, "Location", "http://h/d/%E6%97%A5%20x.zip?q=%41#frag");
    EXPECT_STREQ("\xE6\x97\xA5 x.zip", exchange->response.fileName);
    EXPECT_EQ(kNameUtf8, exchange->response.fileNameCharset);
}

// A name longer than the field is cut to it between characters.
TEST(ServerFileName, LongNameIsCutToTheField)
{
    auto exchange = NewExchange();
    std::string name = "x";
    for (int i = 0; i < 400; ++i) name += "\x95\x5C";
    Apply(*exchange, "Content-Disposition", ("attachment; filename=" + name).c_str());
    EXPECT_EQ(name.substr(0, kReceivedNameMax - 1), exchange->response.fileName);
    Apply(*exchange, "Content-Disposition", ("attachment; filename=" + std::string(600, 'n')).c_str());
    EXPECT_EQ(std::string(kReceivedNameMax, 'n'), exchange->response.fileName);
}

TEST(SimpleHeaders, ValuesAreCutToTheirFields)
{
    auto exchange = NewExchange();
    Apply(*exchange, "Content-Type", "text/html; charset=Shift_JIS");
    EXPECT_STREQ("text/html", exchange->response.contentType);

    const std::string longValue(200, 'v');
    Apply(*exchange, "Server", longValue.c_str());
    EXPECT_EQ(std::string(kResponseTextMax, 'v'), exchange->response.server);
    Apply(*exchange, "Content-Type", (longValue + ";x").c_str());
    EXPECT_EQ(std::string(kResponseTextMax, 'v'), exchange->response.contentType);
}

TEST(SimpleHeaders, ContentLengthNumbers)
{
    auto exchange = NewExchange();
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Content-Length", "  123abc"));
    EXPECT_EQ(123, exchange->response.contentLength);
    // A negative length would make the body count negative: taken as absent.
    auto negative = NewExchange();
    EXPECT_EQ(kHttpOk, Apply(*negative, "Content-Length", "-5"));
    EXPECT_EQ(0, negative->response.contentLength);
    // Neither it nor a value without a number says where the body ends: the
    // body is then read until the server closes.
    EXPECT_EQ(0, negative->contentLengthSeen);
    for (const char* value : {"", "  ", "abc", "x5"}) {
        auto none = NewExchange();
        EXPECT_EQ(kHttpOk, Apply(*none, "Content-Length", value)) << value;
        EXPECT_EQ(0, none->contentLengthSeen) << value;
    }
    auto zero = NewExchange();
    EXPECT_EQ(kHttpOk, Apply(*zero, "Content-Length", " 0"));
    EXPECT_EQ(1, zero->contentLengthSeen);

    // 64-bit lengths, up to the largest; beyond it the response is refused.
    struct Case {
        const char* value;
        int32_t result;
        int64_t length;
    } cases[] = {
        {"2147483647", kHttpOk, INT64_C(2147483647)}, {"2147483648", kHttpOk, INT64_C(2147483648)},
        {"4294967295", kHttpOk, INT64_C(4294967295)}, {"4294967296", kHttpOk, INT64_C(4294967296)},
        {"5000000000", kHttpOk, INT64_C(5000000000)}, {"9223372036854775807", kHttpOk, INT64_MAX},
        {"9223372036854775808", kHttpMalformed, 0},   {"18446744073709551616", kHttpMalformed, 0},
        {"99999999999999999999", kHttpMalformed, 0},  {"-9223372036854775809", kHttpMalformed, 0},
    };
    for (const Case& c : cases) {
        auto fresh = NewExchange();
        EXPECT_EQ(c.result, Apply(*fresh, "Content-Length", c.value)) << c.value;
        EXPECT_EQ(c.length, fresh->response.contentLength) << c.value;
    }
}

TEST(SimpleHeaders, BadDatesLeaveFieldsUnchanged)
{
    auto exchange = NewExchange();
    exchange->response.date = 11;
    exchange->response.lastModified = 22;
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Date", "yesterday"));
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Last-Modified", "Sun, 06 Nov 94 08:49:37 GMT"));
    EXPECT_EQ(11, exchange->response.date);
    EXPECT_EQ(22, exchange->response.lastModified);
}

TEST(SimpleHeaders, PrefixOfKnownNameMatchesFirstInOrder)
{
    auto exchange = NewExchange();
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Content-", "42"));  // Content-Length comes first
    EXPECT_EQ(42, exchange->response.contentLength);
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Content-D", "attachment; filename=p.bin"));
    EXPECT_STREQ("p.bin", exchange->response.fileName);
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Loc", "http://other/q.bin"));
    EXPECT_STREQ("other", exchange->url.host);
    EXPECT_EQ(kHttpOk, Apply(*exchange, "X-Unknown", "gopher://x/"));
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Server2", "ignored"));
    EXPECT_STREQ("", exchange->response.server);
}

TEST(Location, AbsoluteAndRelative)
{
    auto exchange = NewExchange();
    exchange->response.status = 200;
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "http://mirror/pub/new.zip"));
    EXPECT_STREQ("mirror", exchange->url.host);
    EXPECT_STREQ("/pub/new.zip", exchange->url.path);
    EXPECT_STREQ("new.zip", exchange->response.fileName);

    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "../top.zip"));
    EXPECT_STREQ("mirror", exchange->url.host);
    EXPECT_STREQ("/top.zip", exchange->url.path);
    EXPECT_STREQ("top.zip", exchange->response.fileName);

    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "http://mirror/dir/"));
    EXPECT_STREQ("", exchange->response.fileName);
}

TEST(Location, HttpsAndBackAreFollowed)
{
    auto exchange = NewExchange();
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "https://secure/dir/a.zip"));
    EXPECT_EQ(kSchemeHttps, exchange->url.scheme);
    EXPECT_EQ(443, exchange->url.port);
    EXPECT_STREQ("a.zip", exchange->response.fileName);
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "b.zip"));
    EXPECT_EQ(kSchemeHttps, exchange->url.scheme);
    EXPECT_STREQ("/dir/b.zip", exchange->url.path);
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "http://plain/c.zip"));
    EXPECT_EQ(kSchemeHttp, exchange->url.scheme);
    EXPECT_EQ(80, exchange->url.port);
}

TEST(Location, FailingForms)
{
    auto exchange = NewExchange();
    EXPECT_EQ(kHttpMalformed, Apply(*exchange, "Location", "ftp://host/f"));
    EXPECT_STREQ("example.com", exchange->url.host);
    // Climbing above the root is no failure: it stays at the root.
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "../../../../x"));
    EXPECT_STREQ("/x", exchange->url.path);
    // A colon in the query leaves a reference relative; a first segment
    // that reads as a scheme does not.
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "page.cgi?t=12:30"));
    EXPECT_NE(nullptr, std::strstr(exchange->url.path, "/page.cgi?t=12:30")) << exchange->url.path;
    EXPECT_EQ(kHttpMalformed, Apply(*exchange, "Location", "page:t=12:30"));
}

TEST(Location, Ipv6LiteralsAndMalformedBrackets)
{
    auto exchange = NewExchange();
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "http://[::1]:8080/mirror/a.iso"));
    EXPECT_STREQ("::1", exchange->url.host);
    EXPECT_EQ(8080, exchange->url.port);
    EXPECT_STREQ("a.iso", exchange->response.fileName);
    // Relative to an IPv6 origin, the host stays.
    EXPECT_EQ(kHttpOk, Apply(*exchange, "Location", "b.iso"));
    EXPECT_STREQ("::1", exchange->url.host);
    EXPECT_STREQ("/mirror/b.iso", exchange->url.path);
    // A broken bracket is no relative reference: the header fails.
    EXPECT_EQ(kHttpMalformed, Apply(*exchange, "Location", "http://[::1/c.iso"));
    EXPECT_EQ(kHttpMalformed, Apply(*exchange, "Location", "http://[::1]x/c.iso"));
    EXPECT_STREQ("/mirror/b.iso", exchange->url.path);
}

TEST(Location, LoginNeedsUserAndPassword)
{
    auto exchange = NewExchange();
    std::strcpy(exchange->user, "keep");
    std::strcpy(exchange->password, "keep-pw");
    Apply(*exchange, "Location", "http://onlyuser@h/f");
    EXPECT_STREQ("keep", exchange->user);
    EXPECT_STREQ("keep-pw", exchange->password);
    Apply(*exchange, "Location", "http://u:p@h/f");
    EXPECT_STREQ("u", exchange->user);
    EXPECT_STREQ("p", exchange->password);
}

TEST(CountBody, CutsAtContentLength)
{
    auto exchange = NewExchange();
    exchange->response.contentLength = 100;
    exchange->response.bodyReceived = 90;
    size_t count = 20;
    EXPECT_TRUE(CountBody(*exchange, count));
    EXPECT_EQ(10u, count);
    EXPECT_EQ(100, exchange->response.bodyReceived);

    count = 5;
    EXPECT_TRUE(CountBody(*exchange, count));
    EXPECT_EQ(0u, count);

    exchange->response.bodyReceived = 0;
    count = 99;
    EXPECT_FALSE(CountBody(*exchange, count));
    EXPECT_EQ(99u, count);
}

TEST(CountBody, UnknownLengthSaturates)
{
    auto exchange = NewExchange();
    exchange->response.bodyReceived = 2147483000;
    size_t count = 64000;
    EXPECT_FALSE(CountBody(*exchange, count));
    EXPECT_EQ(64000u, count);
    EXPECT_EQ(2147547000, exchange->response.bodyReceived);  // on past 2^31
    exchange->response.bodyReceived = INT64_MAX - 10;
    EXPECT_FALSE(CountBody(*exchange, count));
    EXPECT_EQ(INT64_MAX, exchange->response.bodyReceived);
}

TEST(CountBody, LengthBeyond4GiB)
{
    auto exchange = NewExchange();
    exchange->response.contentLength = INT64_C(5368709120);
    exchange->response.bodyReceived = INT64_C(5368709120) - 100;
    size_t count = 64000;
    EXPECT_TRUE(CountBody(*exchange, count));
    EXPECT_EQ(100u, count);
    EXPECT_EQ(INT64_C(5368709120), exchange->response.bodyReceived);
}

TEST(Decimal, SixtyFourBitReadingAndWriting)
{
    struct Case {
        const char* text;
        bool fits;
        int64_t exact;      // ReadDecimal64
        int64_t saturated;  // ParseDecimal64
    } cases[] = {
        {"2147483648", true, INT64_C(2147483648), INT64_C(2147483648)},
        {"4294967296", true, INT64_C(4294967296), INT64_C(4294967296)},
        {" +9223372036854775807x", true, INT64_MAX, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN, INT64_MIN},
        {"9223372036854775808", false, 0, INT64_MAX},
        {"-9223372036854775809", false, 0, INT64_MIN},
        {"000000000000000000000000000000042", true, 42, 42},
        {"184467440737095516160", false, 0, INT64_MAX},
        {"", true, 0, 0},
        {"x1", true, 0, 0},
    };
    for (const Case& c : cases) {
        int64_t value = -7;
        EXPECT_EQ(c.fits, ReadDecimal64(c.text, value)) << c.text;
        EXPECT_EQ(c.exact, value) << c.text;
        EXPECT_EQ(c.saturated, ParseDecimal64(c.text)) << c.text;
    }

    char text[kDecimal64TextSize];
    EXPECT_STREQ("0", FormatDecimal64(0, text, sizeof text));
    EXPECT_STREQ("-1", FormatDecimal64(-1, text, sizeof text));
    EXPECT_STREQ("5000000000", FormatDecimal64(INT64_C(5000000000), text, sizeof text));
    EXPECT_STREQ("9223372036854775807", FormatDecimal64(INT64_MAX, text, sizeof text));
    EXPECT_STREQ("-9223372036854775808", FormatDecimal64(INT64_MIN, text, sizeof text));
    char small[5];
    EXPECT_STREQ("5000", FormatDecimal64(INT64_C(5000000000), small, sizeof small));  // cut, terminated
}

TEST(Decimal, ReadsLikeAtoiWithoutOverflow)
{
    EXPECT_EQ(0, ParseDecimal(""));
    EXPECT_EQ(0, ParseDecimal(nullptr));
    EXPECT_EQ(12, ParseDecimal(" \t12x"));
    EXPECT_EQ(-12, ParseDecimal("-12"));
    EXPECT_EQ(7, ParseDecimal("+7"));
    EXPECT_EQ(2147483647, ParseDecimal("2147483648"));
    EXPECT_EQ(-2147483647 - 1, ParseDecimal("-2147483648"));
    EXPECT_EQ(-2147483647 - 1, ParseDecimal("-99999999999999999999"));
}

}  // namespace
