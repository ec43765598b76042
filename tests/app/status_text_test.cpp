// Failure reasons, their stored form, the speed average and the column texts.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "marrowby/app/failure_reason.h"
#include "marrowby/app/list_format.h"
#include "marrowby/app/transfer_rate.h"
#include "marrowby/engine/job_failure.h"
#include "marrowby/resources/resource.h"

namespace {

TEST(FailureReason, EveryFailureHasItsOwnWordsAndDetailsRefineThem)
{
    // Every code the job or the list can record names a reason of its own,
    // except the two kinds of a cut transfer, which read alike.
    std::set<int> texts;
    for (int32_t failure = JobFailureNetwork; failure <= JobFailureSizeMismatch; ++failure) {
        FailureReason reason = ReasonOfFailure(failure, failure == JobFailureHttpStatus ? 404 : 0);
        EXPECT_NE(IDS_REASON_UNKNOWN, reason.textId) << failure;
        EXPECT_GE(reason.textId, IDS_REASON_HTTP_STATUS) << failure;
        EXPECT_LE(reason.textId, IDS_REASON_NO_FOLDER) << failure;
        texts.insert(reason.textId);
    }
    EXPECT_EQ(static_cast<size_t>(JobFailureSizeMismatch - JobFailureNetwork), texts.size());
    EXPECT_EQ(IDS_REASON_UNKNOWN, ReasonOfFailure(99, 0).textId);
    EXPECT_EQ(IDS_REASON_CERT_NAME, ReasonOfFailure(JobFailureCertificateName, 0).textId);
    EXPECT_EQ(IDS_REASON_PROXY, ReasonOfFailure(JobFailureProxyTunnel, 0).textId);
    EXPECT_EQ(IDS_REASON_TIMED_OUT, ReasonOfFailure(JobFailureTimedOut, 0).textId);

    FailureReason notFound = ReasonOfFailure(JobFailureHttpStatus, 404);
    EXPECT_EQ(IDS_REASON_HTTP_STATUS, notFound.textId);
    EXPECT_EQ(404, notFound.httpStatus);
    EXPECT_STREQ("Not Found", notFound.phrase);
    EXPECT_STREQ("Service Unavailable", ReasonOfFailure(JobFailureHttpStatus, 503).phrase);
    EXPECT_STREQ("Proxy Authentication Required", HttpReasonPhrase(407));
    EXPECT_STREQ("", HttpReasonPhrase(599));
    EXPECT_STREQ("", HttpReasonPhrase(200));
    // A status failure without its number (an older list) never shows "0".
    EXPECT_NE(IDS_REASON_HTTP_STATUS, ReasonOfFailure(JobFailureHttpStatus, 0).textId);

    // The system's error of a file that cannot be written.
    EXPECT_EQ(IDS_REASON_DISK_FULL, ReasonOfFailure(JobFailureFileWrite, 112).textId);
    EXPECT_EQ(IDS_REASON_DISK_FULL, ReasonOfFailure(JobFailureFileWrite, 39).textId);
    EXPECT_EQ(IDS_REASON_READ_ONLY, ReasonOfFailure(JobFailureFileWrite, 5).textId);
    EXPECT_EQ(IDS_REASON_READ_ONLY, ReasonOfFailure(JobFailureFileWrite, 19).textId);
    EXPECT_EQ(IDS_REASON_FILE_IN_USE, ReasonOfFailure(JobFailureFileWrite, 32).textId);
    EXPECT_EQ(IDS_REASON_FILE_IN_USE, ReasonOfFailure(JobFailureFileWrite, 33).textId);
    EXPECT_EQ(IDS_REASON_NO_FOLDER, ReasonOfFailure(JobFailureFileWrite, 3).textId);
    EXPECT_EQ(IDS_REASON_FILE, ReasonOfFailure(JobFailureFileWrite, 1234).textId);
    // A login never given asks for one; a refused one reads as refused.
    EXPECT_EQ(IDS_REASON_LOGIN_NEEDED, ReasonOfFailure(JobFailureLogin, kLoginNotGiven).textId);
    EXPECT_EQ(IDS_REASON_LOGIN, ReasonOfFailure(JobFailureLogin, 0).textId);
    EXPECT_NE(IDS_REASON_LOGIN_NEEDED, ReasonOfFailure(JobFailureNetwork, kLoginNotGiven).textId);
    // Every failure a job reports has a reason of its own.
    for (int32_t failure = JobFailureNetwork; failure <= JobFailureFileChanged; ++failure)
        EXPECT_NE(IDS_REASON_UNKNOWN, ReasonOfFailure(failure, 0).textId) << failure;
    // The detail of other failures means nothing.
    EXPECT_EQ(IDS_REASON_CONNECT, ReasonOfFailure(JobFailureNetwork, 112).textId);
    EXPECT_EQ(0, ReasonOfFailure(JobFailureNetwork, 404).httpStatus);
}

TEST(FailureReason, StoredFormRoundTripsAndRefusesStrangers)
{
    char text[kStoredFailureSize];
    for (int32_t failure = JobFailureNone; failure <= JobFailureSizeMismatch; ++failure) {
        for (int32_t detail : {0, 404, 112, -7}) {
            FormatStoredFailure(failure, detail, text, sizeof(text));
            int32_t readFailure = -1;
            int32_t readDetail = -1;
            bool known = ParseStoredFailure(text, &readFailure, &readDetail);
            EXPECT_EQ(failure != JobFailureNone, known) << text;
            EXPECT_EQ(failure, readFailure) << text;
            EXPECT_EQ(failure == JobFailureNone ? 0 : detail, readDetail) << text;
        }
    }
    FormatStoredFailure(JobFailureHttpStatus, 404, text, sizeof(text));
    EXPECT_STREQ("http-status 404", text);
    FormatStoredFailure(JobFailureNone, 404, text, sizeof(text));
    EXPECT_STREQ("", text);
    char tiny[5];
    FormatStoredFailure(JobFailureCertificateUntrusted, 0, tiny, sizeof(tiny));
    EXPECT_STREQ("cert", tiny);

    int32_t failure = -1;
    int32_t detail = -1;
    EXPECT_TRUE(ParseStoredFailure("network\r\n", &failure, &detail));
    EXPECT_EQ(JobFailureNetwork, failure);
    EXPECT_EQ(0, detail);
    for (const char* stranger : {"", " network", "Network", "networks", "none", "unknown 3", "http-status404",
                                 "a-keyword-far-longer-than-any-known-one 1"}) {
        EXPECT_FALSE(ParseStoredFailure(stranger, &failure, &detail)) << stranger;
        EXPECT_EQ(0, failure) << stranger;
        EXPECT_EQ(0, detail) << stranger;
    }
    EXPECT_FALSE(ParseStoredFailure(nullptr, &failure, &detail));

    // The key is one the list reader knows, and a record carries it before its Url.
    EXPECT_EQ(kListKeyFailure, MatchListKey("_failure"));
    ListWriter* writer = new ListWriter;
    std::string out;
    InitListWriter(
        writer,
        [](void* context, const uint8_t* data, size_t length) {
            static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
            return 0;
        },
        &out);
    ListRecordOut failed = {"", "", 0, 0, "", "", "http://h/a", nullptr, "", 0, "http-status 404"};
    ListRecordOut fine = {"", "", 0, 0, "", "", "http://h/b", nullptr, "", 0, ""};
    WriteListRecord(writer, failed);
    WriteListRecord(writer, fine);
    FlushListWriter(writer);
    delete writer;
    EXPECT_NE(std::string::npos, out.find("_Failure=http-status 404\r\nUrl=http://h/a\r\n"));
    EXPECT_EQ(out.find("_Failure"), out.rfind("_Failure"));
}

// A download that runs at 100 KB/s for 4 s, stalls for 6 s, then runs at
// 10 KB/s: the average follows each phase within the window and forgets the
// earlier ones.
TEST(TransferRate, MovingAverageFollowsAScriptedSeries)
{
    RateMeter meter;
    const uint32_t start = 0xFFFFF000u;                              // across the tick count's wrap
    ResetRate(meter, start, 5000);                                   // a resume: bytes present do not count
    EXPECT_EQ(-1, RatePerSecond(meter, start + 100, 5000 + 10000));  // too little history
    int64_t bytes = 5000;
    uint32_t now = start;
    for (int step = 1; step <= 40; ++step) {  // 100 ms apart: only every fifth is kept
        now += 100;
        bytes += 10000;
        AddRateSample(meter, now, bytes);
    }
    EXPECT_EQ(100000, RatePerSecond(meter, now, bytes));
    EXPECT_EQ(10, SecondsLeft(1000000, RatePerSecond(meter, now, bytes)));
    // Stalled: the rate falls as the window moves on, to 0.
    now += 2500;
    AddRateSample(meter, now, bytes);
    int64_t falling = RatePerSecond(meter, now, bytes);
    EXPECT_GT(falling, 0);
    EXPECT_LT(falling, 100000);
    now += 3500;
    AddRateSample(meter, now, bytes);
    EXPECT_EQ(0, RatePerSecond(meter, now, bytes));
    EXPECT_EQ(-1, SecondsLeft(1000, 0));
    // The slow phase: after a full window only it counts.
    for (int step = 1; step <= 12; ++step) {
        now += 500;
        bytes += 5000;
        AddRateSample(meter, now, bytes);
    }
    EXPECT_EQ(10000, RatePerSecond(meter, now, bytes));
    // No sample for longer than the window: the bytes since the last one count.
    EXPECT_EQ(1000, RatePerSecond(meter, now + 10000, bytes + 10000));
    EXPECT_EQ(0, SecondsLeft(0, 10));
    EXPECT_EQ(3, SecondsLeft(21, 10));
}

TEST(TransferRate, ColumnTexts)
{
    char text[32];
    FormatPercent(42, 100, text, sizeof(text));
    EXPECT_STREQ("42%", text);
    FormatPercent(999999, 1000000, text, sizeof(text));
    EXPECT_STREQ("99%", text);
    FormatPercent(1000000, 1000000, text, sizeof(text));
    EXPECT_STREQ("100%", text);
    FormatPercent(INT64_C(6000000000000000000), INT64_C(8000000000000000000), text, sizeof(text));
    EXPECT_STREQ("75%", text);
    FormatPercent(5, 0, text, sizeof(text));
    EXPECT_STREQ("", text);
    FormatPercent(5, -1, text, sizeof(text));
    EXPECT_STREQ("", text);
    EXPECT_EQ(-1, PercentOf(1, 0));

    FormatRate(980, text, sizeof(text));
    EXPECT_STREQ("980 B/s", text);
    FormatRate(12595, text, sizeof(text));
    EXPECT_STREQ("12.3 KB/s", text);
    FormatRate(4781506, text, sizeof(text));
    EXPECT_STREQ("4.56 MB/s", text);
    FormatRate(INT64_C(300) * 1024 * 1024 * 1024, text, sizeof(text));
    EXPECT_STREQ("300 GB/s", text);
    FormatRate(-1, text, sizeof(text));
    EXPECT_STREQ("", text);

    FormatSecondsLeft(59, text, sizeof(text));
    EXPECT_STREQ("0:59", text);
    FormatSecondsLeft(3599, text, sizeof(text));
    EXPECT_STREQ("59:59", text);
    FormatSecondsLeft(90061, text, sizeof(text));
    EXPECT_STREQ("25:01:01", text);
    FormatSecondsLeft(-1, text, sizeof(text));
    EXPECT_STREQ("", text);
    char tiny[3];
    FormatSecondsLeft(3599, tiny, sizeof(tiny));
    EXPECT_STREQ("59", tiny);
}

}  // namespace
