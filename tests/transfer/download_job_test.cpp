// DownloadJob against the scripted servers: request texts, callback
// sequences, file contents and resume positions.
#include "marrowby/engine/download_job.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/transfer/transfer_support.h"

namespace {

const char kAgent[] = "Marrowby/0.23 ( built on Tessaline )";

class DownloadJobTest : public DownloadJobFixture {};

}  // namespace

// ---- a plain download -----------------------------------------------------

TEST_F(DownloadJobTest, FreshDownloadSendsTheExactRequestAndSavesTheBody)
{
    run_.referer = "http://example.test/page.html";
    run_.userAgent = kAgent;
    JobOutcome outcome = Run(Url("file.bin?size=150000"));
    ASSERT_EQ(outcome.prepared, 0);
    ASSERT_EQ(outcome.started, 0);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequest(id_, 1), "GET /" + id_ +
                                           "/file.bin?size=150000 HTTP/1.0\r\n"
                                           "Host: " +
                                           Host() +
                                           "\r\n"
                                           "Referer: http://example.test/page.html\r\n"
                                           "User-Agent: Marrowby/0.23 ( built on Tessaline )\r\n"
                                           "Accept: */*\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(recorder_.summary.status, 200);
    EXPECT_EQ(recorder_.summary.totalSize, 150000);
    EXPECT_EQ(recorder_.summary.rangeFirst, 0);
    EXPECT_STREQ(recorder_.summary.fileName, "file.bin");
    EXPECT_EQ(recorder_.DataBytes(), 150000);
    EXPECT_EQ(Saved("file.bin"), Pattern(0, 150000));
}

TEST_F(DownloadJobTest, HeaderBlockSplitAnywhereStillFindsTheBody)
{
    // Cuts inside the status line, a header name and between the final CR
    // and LF.
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\nConnection: close\r\n\r\n";
    std::string cuts = "5,20," + std::to_string(head.size() - 1);
    ASSERT_EQ(Run(Url("split.bin?size=3000&split=" + cuts)).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("split.bin"), Pattern(0, 3000));
}

TEST_F(DownloadJobTest, PathEndingInSlashSavesAsIndexHtml)
{
    ASSERT_EQ(Run(Url("dir/?size=500")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_STREQ(recorder_.summary.fileName, "index.html");
    EXPECT_EQ(Saved("index.html"), Pattern(0, 500));
}

TEST_F(DownloadJobTest, BodyWithoutLengthAndBodyBeyondLength)
{
    ASSERT_EQ(Run(Url("nolen.bin?size=70000&nolen=1")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(recorder_.summary.totalSize, 0);
    EXPECT_EQ(Saved("nolen.bin"), Pattern(0, 70000));

    JobRecorder extra;
    run_.url = Url("extra.bin?size=1000&extra=500");
    ASSERT_EQ(RunJob(run_, extra).started, 0);
    EXPECT_EQ(extra.Sequence(), "accepted data closed");
    EXPECT_EQ(extra.DataBytes(), 1000);
    EXPECT_EQ(Saved("extra.bin"), Pattern(0, 1000));
}

TEST_F(DownloadJobTest, ConnectionCutMidBodyIsClosedShort)
{
    ASSERT_EQ(Run(Url("cut.bin?size=100000&cut=30000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(recorder_.summary.totalSize, 100000);
    EXPECT_EQ(recorder_.DataBytes(), 30000);
    EXPECT_EQ(Saved("cut.bin"), Pattern(0, 30000));
}

TEST_F(DownloadJobTest, MissingFolderLevelsAreCreated)
{
    run_.folder = folder_ + "\\a\\b/c";
    ASSERT_EQ(Run(Url("deep.bin?size=800")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(ReadFileBytes(folder_ + "/a/b/c/deep.bin"), Pattern(0, 800));
}

TEST_F(DownloadJobTest, FileThatCannotBeCreatedIsAFileError)
{
    // A file stands where the folder should be, so no folder can be made.
    WriteFileBytes(folder_ + "/blocker", "x");
    run_.folder = folder_ + "\\blocker\\sub";
    ASSERT_EQ(Run(Url("f.bin?size=800")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "file-error");
}

// ---- resuming -------------------------------------------------------------

TEST_F(DownloadJobTest, ResumeFromALongEnoughPartialFile)
{
    WriteFileBytes(folder_ + "/part.bin", Pattern(0, 4096) + std::string(904, 'z'));
    run_.offset = 4096;
    run_.lastName = "part.bin";
    ASSERT_EQ(Run(Url("part.bin?size=10000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_NE(RecordedRequest(id_, 1).find("\r\nRange: bytes=4096-\r\n"), std::string::npos);
    EXPECT_EQ(recorder_.summary.status, 206);
    EXPECT_EQ(recorder_.summary.rangeFirst, 4096);
    EXPECT_EQ(recorder_.summary.totalSize, 10000);
    EXPECT_EQ(recorder_.DataBytes(), 10000 - 4096);
    EXPECT_EQ(Saved("part.bin"), Pattern(0, 10000));
}

TEST_F(DownloadJobTest, ResumeWithTooShortPartialFileStartsOver)
{
    WriteFileBytes(folder_ + "/short.bin", std::string(5000, 'z'));
    run_.offset = 100000;
    run_.lastName = "short.bin";
    ASSERT_EQ(Run(Url("short.bin?size=6000")).started, 0);
    EXPECT_EQ(RecordedRequest(id_, 1).find("Range:"), std::string::npos);
    EXPECT_EQ(recorder_.summary.status, 200);
    EXPECT_EQ(Saved("short.bin"), Pattern(0, 6000));
}

TEST_F(DownloadJobTest, ResumeWithMissingLastFileStartsOverAndCreatesIt)
{
    run_.offset = 2000;
    run_.lastName = "gone.bin";
    ASSERT_EQ(Run(Url("other.bin?size=3000")).started, 0);
    EXPECT_EQ(RecordedRequest(id_, 1).find("Range:"), std::string::npos);
    // The download's own file keeps its name, whatever the server calls it.
    EXPECT_STREQ(recorder_.summary.fileName, "gone.bin");
    EXPECT_EQ(Saved("gone.bin"), Pattern(0, 3000));
    EXPECT_FALSE(FileExists(folder_ + "/other.bin"));
}

TEST_F(DownloadJobTest, OffsetZeroSendsNoRange)
{
    run_.lastName = "zero.bin";
    ASSERT_EQ(Run(Url("zero.bin?size=100")).started, 0);
    EXPECT_EQ(RecordedRequest(id_, 1).find("Range:"), std::string::npos);
}

TEST_F(DownloadJobTest, EmptyLastNameUsesTheOffsetAsGiven)
{
    WriteFileBytes(folder_ + "/given.bin", Pattern(0, 3000));
    run_.offset = 3000;
    ASSERT_EQ(Run(Url("given.bin?size=5000")).started, 0);
    EXPECT_NE(RecordedRequest(id_, 1).find("\r\nRange: bytes=3000-\r\n"), std::string::npos);
    EXPECT_EQ(recorder_.summary.rangeFirst, 3000);
    EXPECT_EQ(Saved("given.bin"), Pattern(0, 5000));
}

TEST_F(DownloadJobTest, RangeStartBeyondTheLocalFileIsRefused)
{
    // The server answers 206 from 3000 but the file it names holds nothing:
    // writing there would leave 3000 zero bytes counted as downloaded.
    run_.offset = 3000;
    ASSERT_EQ(Run(Url("absent.bin?size=5000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "file-error");
    EXPECT_EQ(Saved("absent.bin"), "");
}

TEST_F(DownloadJobTest, ServerIgnoringTheRangeRewritesFromByteZero)
{
    WriteFileBytes(folder_ + "/full.bin", std::string(8000, 'z'));
    run_.offset = 4096;
    run_.lastName = "full.bin";
    ASSERT_EQ(Run(Url("full.bin?size=5000&range=200")).started, 0);
    EXPECT_NE(RecordedRequest(id_, 1).find("Range: bytes=4096-"), std::string::npos);
    EXPECT_EQ(recorder_.summary.status, 200);
    EXPECT_EQ(recorder_.summary.rangeFirst, 0);
    // The whole body replaces the old file: no stale tail behind its end.
    std::string saved = Saved("full.bin");
    EXPECT_EQ(saved.size(), 5000u);
    EXPECT_TRUE(saved == Pattern(0, 5000));
}

TEST_F(DownloadJobTest, FreshDownloadLeavesAnExistingFileAlone)
{
    // A file of the name that is not the download's own is never written:
    // the new one goes beside it, numbered.
    WriteFileBytes(folder_ + "/old.bin", std::string(9000, 'z'));
    ASSERT_EQ(Run(Url("old.bin?size=2500")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_STREQ(recorder_.summary.fileName, "old (2).bin");
    EXPECT_EQ(Saved("old.bin"), std::string(9000, 'z'));
    EXPECT_TRUE(Saved("old (2).bin") == Pattern(0, 2500));
}

TEST_F(DownloadJobTest, ResumedBodyKeepsTheBytesBeforeTheRange)
{
    // A 206 continues the file: the bytes before rangeFirst are not sent
    // again and must survive the opening.
    WriteFileBytes(folder_ + "/keep.bin", Pattern(0, 6000));
    run_.offset = 6000;
    run_.lastName = "keep.bin";
    ASSERT_EQ(Run(Url("keep.bin?size=7000&cut=500")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(recorder_.summary.rangeFirst, 6000);
    EXPECT_EQ(Saved("keep.bin"), Pattern(0, 6500));
}

// ---- file names -----------------------------------------------------------

TEST_F(DownloadJobTest, ContentDispositionNamesTheFile)
{
    ASSERT_EQ(Run(Url("get?size=300&cd=attachment;%20filename=plain.zip")).started, 0);
    EXPECT_STREQ(recorder_.summary.fileName, "plain.zip");
    EXPECT_EQ(Saved("plain.zip"), Pattern(0, 300));

    JobRecorder quoted;
    run_.url = Url("get?size=300&cd=attachment;%20filename=%22quoted%20name.zip%22");
    ASSERT_EQ(RunJob(run_, quoted).started, 0);
    EXPECT_STREQ(quoted.summary.fileName, "quoted name.zip");
    EXPECT_EQ(Saved("quoted name.zip"), Pattern(0, 300));

    // A file meant to be shown inline is saved under its name too; an empty
    // name leaves the address's.
    JobRecorder inlined;
    run_.url = Url("shown.php?size=300&cd=inline;%20filename=other.pdf");
    ASSERT_EQ(RunJob(run_, inlined).started, 0);
    EXPECT_STREQ(inlined.summary.fileName, "other.pdf");
    EXPECT_EQ(Saved("other.pdf"), Pattern(0, 300));
    JobRecorder unnamed;
    run_.url = Url("kept.bin?size=300&cd=attachment;%20filename=%22%22");
    ASSERT_EQ(RunJob(run_, unnamed).started, 0);
    EXPECT_STREQ(unnamed.summary.fileName, "kept.bin");
}

TEST_F(DownloadJobTest, ServerNamesNeverLeaveTheDownloadFolder)
{
    std::string inner = folder_ + "\\inner";
    run_.folder = inner;
    ASSERT_EQ(Run(Url("get?size=200&cd=attachment;%20filename=%22..%2F..%2Fescaped.bin%22")).started, 0);
    std::string name = recorder_.summary.fileName;
    EXPECT_EQ(name.find_first_of("/\\:\""), std::string::npos) << name;
    EXPECT_NE(name.find("escaped.bin"), std::string::npos) << name;
    EXPECT_EQ(ReadFileBytes(inner + "/" + name), Pattern(0, 200));
    EXPECT_FALSE(FileExists(folder_ + "/escaped.bin"));

    // A backslash in the URL's last segment is a separator on Windows.
    JobRecorder fromUrl;
    run_.url = Url("..\\..\\viaurl.bin?size=200");
    ASSERT_EQ(RunJob(run_, fromUrl).started, 0);
    EXPECT_STREQ(fromUrl.summary.fileName, "viaurl.bin");
    EXPECT_EQ(ReadFileBytes(inner + "/viaurl.bin"), Pattern(0, 200));
    EXPECT_FALSE(FileExists(folder_ + "/viaurl.bin"));
}

// ---- status codes ---------------------------------------------------------

TEST_F(DownloadJobTest, NotFoundFailsWithoutAFile)
{
    ASSERT_EQ(Run(Url("missing.bin?status=404")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_FALSE(FileExists(folder_ + "/missing.bin"));
}

TEST_F(DownloadJobTest, StatusesOutsideTheErrorRangeAreSavedAndEveryServerErrorFails)
{
    const int statuses[] = {203, 299};
    const char* const names[] = {"elsewhere.bin", "elsewhere (2).bin"};
    int n = 0;
    for (int status : statuses) {
        JobRecorder recorder;
        std::string name = "s" + std::to_string(status) + ".bin";
        run_.url = Url(name + "?size=700&status=" + std::to_string(status) +
                       "&loc=http%3A%2F%2F127.0.0.1%3A1%2Felsewhere.bin");
        ASSERT_EQ(RunJob(run_, recorder).started, 0);
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << status;
        EXPECT_EQ(recorder.summary.status, status);
        // A Location on a saved response renames the file without moving;
        // each download has a file of its own.
        const char* saved = names[n++];
        EXPECT_STREQ(recorder.summary.fileName, saved);
        EXPECT_EQ(Saved(saved), Pattern(0, 700)) << status;
    }
    JobRecorder variant;
    run_.url = Url("variant.bin?size=700&status=506");
    JobOutcome outcome = RunJob(run_, variant);
    EXPECT_EQ(variant.Sequence(), "failed");
    EXPECT_EQ(outcome.failure, JobFailureHttpStatus);
    EXPECT_FALSE(FileExists(folder_ + "/variant.bin"));
}

// Heads of some tens of KB (long cookies, policies) are answers like others.
TEST_F(DownloadJobTest, LongResponseHeadIsRead)
{
    ASSERT_EQ(Run(Url("longhead.bin?size=900&pad=40000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("longhead.bin"), Pattern(0, 900));
}

TEST_F(DownloadJobTest, MalformedResponseHeadFails)
{
    // A header block longer than the reader keeps.
    JobOutcome outcome = Run(Url("long.bin?size=10&pad=70000"));
    ASSERT_EQ(outcome.started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(outcome.failure, JobFailureBadResponse);
    EXPECT_EQ(recorder_.Count(JobAccepted), 0);
}

// A server that keeps the connection open after the whole body, whatever
// "Connection: close" asked, still ends the download at its last byte
// instead of its silence running into the time-out.
TEST_F(DownloadJobTest, BodyCompleteByItsLengthEndsWithoutTheServersClose)
{
    run_.timeoutMs = 4000;
    for (int size : {3000, 0}) {
        const std::string name = "kept" + std::to_string(size) + ".bin";
        JobRecorder recorder;
        run_.url = Url(name + "?size=" + std::to_string(size) + "&hold=30");
        JobOutcome outcome = RunJob(run_, recorder);
        EXPECT_EQ(recorder.Sequence(), size > 0 ? "accepted data closed" : "accepted closed") << size;
        EXPECT_EQ(outcome.failure, JobFailureNone) << size;
        EXPECT_EQ(Saved(name), Pattern(0, size)) << size;
    }
}

// Each odd answer ends with the reason it deserves, and nothing of its
// framing reaches the file.
TEST_F(DownloadJobTest, OddAnswersEndWithTheirReasons)
{
    struct Case {
        const char* query;
        const char* sequence;
        int32_t failure;
    } cases[] = {
        {"interim.bin?odd=interim&size=3000", "accepted data closed", JobFailureNone},
        {"interimonly.bin?odd=interimonly", "failed", JobFailureNoResponse},
        {"chunked.bin?odd=chunked&size=9000", "accepted data closed", JobFailureNone},
        {"chunkcut.bin?odd=chunkcut&size=9000", "accepted data failed", JobFailureBodyCut},
        {"twolengths.bin?odd=twolengths", "failed", JobFailureBadResponse},
        {"badline.bin?odd=line&line=485454502f312e31203630302058", "failed", JobFailureBadResponse},
        {"norange.bin?odd=norange&size=3000", "accepted data closed", JobFailureNone},
    };
    for (const Case& c : cases) {
        JobRecorder recorder;
        run_.url = Url(c.query);
        JobOutcome outcome = RunJob(run_, recorder);
        EXPECT_EQ(recorder.Sequence(), c.sequence) << c.query;
        EXPECT_EQ(outcome.failure, c.failure) << c.query;
    }
    EXPECT_EQ(Saved("interim.bin"), Pattern(0, 3000));
    EXPECT_EQ(Saved("chunked.bin"), Pattern(0, 9000));
    EXPECT_EQ(Saved("chunkcut.bin"), Pattern(0, Saved("chunkcut.bin").size()));

    // A resume answered 206 without Content-Range is asked again without a
    // range; the second such answer fails rather than splicing.
    WriteFileBytes(folder_ + "/norange.bin", Pattern(0, 1000));
    run_.offset = 1000;
    run_.lastName = "norange.bin";
    JobRecorder resumed;
    run_.url = Url("norange.bin?odd=norange&size=3000");
    EXPECT_EQ(RunJob(run_, resumed).failure, JobFailureNone);
    EXPECT_EQ(resumed.summary.status, 200);
    EXPECT_EQ(Saved("norange.bin"), Pattern(0, 3000));
}

// ---- redirects ------------------------------------------------------------

TEST_F(DownloadJobTest, RelativeRedirectStaysOnTheSameHost)
{
    ASSERT_EQ(Run(Url("first.bin?status=302&loc=sub%2Fsecond.bin%3Fsize%3D900")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequest(id_, 2), "GET /" + id_ +
                                           "/sub/second.bin?size=900 HTTP/1.0\r\n"
                                           "Host: " +
                                           Host() +
                                           "\r\n"
                                           "Accept: */*\r\nConnection: close\r\n\r\n");
    EXPECT_STREQ(recorder_.summary.fileName, "second.bin");
    EXPECT_EQ(Saved("second.bin"), Pattern(0, 900));
}

// A relative Location is resolved as a browser resolves it: a segment that
// only begins with a dot is a directory like any other, "." and ".." are
// taken out, and ".." above the root stays at the root.
TEST_F(DownloadJobTest, RelativeRedirectWithDotSegmentsReachesTheNamedFile)
{
    const std::string location = "..%2F..%2F..%2F" + id_ + "%2F.cache%2F.%2Fx%2F..%2Fsecond.bin%3Fsize%3D800";
    ASSERT_EQ(Run(Url("a/first.bin?status=302&loc=" + location)).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequest(id_, 2).rfind("GET /" + id_ + "/.cache/second.bin?size=800 HTTP/1.0\r\n", 0), 0u)
        << RecordedRequest(id_, 2);
    EXPECT_STREQ(recorder_.summary.fileName, "second.bin");
    EXPECT_EQ(Saved("second.bin"), Pattern(0, 800));
}

// Field names in lower case, as servers that speak HTTP/2 elsewhere send
// them: the redirect is followed, the chunks decoded and the name taken.
TEST_F(DownloadJobTest, LowerCaseFieldNamesAreUnderstood)
{
    JobOutcome outcome = Run(Url("moved.bin?odd=lower&to=lower.bin%3Fodd%3Dlower%26size%3D9000"));
    ASSERT_EQ(outcome.started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(outcome.failure, JobFailureNone);
    EXPECT_EQ(RecordedRequestCount(id_), 2);
    EXPECT_STREQ(recorder_.summary.fileName, "lower-saved.bin");
    EXPECT_EQ(Saved("lower-saved.bin"), Pattern(0, 9000));
}

TEST_F(DownloadJobTest, AbsoluteRedirectsGoToTheOtherServer)
{
    const int statuses[] = {301, 303, 307, 308};
    int request = 0;
    for (int status : statuses) {
        request += 2;  // the start and the moved file
        JobRecorder recorder;
        std::string target = "http%3A%2F%2F127.0.0.1%3A" + std::to_string(HttpPort2()) + "%2F" + id_ + "%2Fmoved" +
                             std::to_string(status) + ".bin%3Fsize%3D600";
        run_.url = Url("start.bin?status=" + std::to_string(status) + "&loc=" + target);
        ASSERT_EQ(RunJob(run_, recorder).started, 0);
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << status;
        std::string name = "moved" + std::to_string(status) + ".bin";
        EXPECT_NE(RecordedRequest(id_, request)
                      .find("GET /" + id_ + "/" + name + "?size=600 HTTP/1.0\r\nHost: " + Host(HttpPort2()) + "\r\n"),
                  std::string::npos);
        EXPECT_EQ(Saved(name), Pattern(0, 600));
    }
}

TEST_F(DownloadJobTest, RedirectToAnotherSchemeFails)
{
    ASSERT_EQ(Run(Url("start.bin?status=302&loc=ftp%3A%2F%2F127.0.0.1%2Ff.bin")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 1);
}

TEST_F(DownloadJobTest, TwentyRedirectsAreFollowed)
{
    ASSERT_EQ(Run(Url("chain.bin?size=400&hops=20")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequestCount(id_), 21);
    EXPECT_EQ(Saved("chain.bin"), Pattern(0, 400));
}

TEST_F(DownloadJobTest, EndlessRedirectsFailAfterTwenty)
{
    ASSERT_EQ(Run(Url("loop.bin?size=400&hops=1000&hopstatus=301")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 21);
}

// A redirect without a Location, or with an empty one, is asked once and
// fails with its own status, not as a loop after twenty requests.
TEST_F(DownloadJobTest, RedirectWithoutAPlaceFailsWithItsStatus)
{
    const char* queries[] = {"nowhere.bin?size=400&status=302", "nowhere.bin?size=400&status=301&loc="};
    int requests = 0;
    for (const char* query : queries) {
        JobRecorder recorder;
        run_.url = Url(query);
        JobOutcome outcome = RunJob(run_, recorder);
        EXPECT_EQ(recorder.Sequence(), "failed") << query;
        EXPECT_EQ(outcome.failure, JobFailureHttpStatus) << query;
        EXPECT_EQ(RecordedRequestCount(id_), ++requests) << query;
    }
    EXPECT_FALSE(FileExists(folder_ + "/nowhere.bin"));
}

// ---- authentication -------------------------------------------------------

TEST_F(DownloadJobTest, BasicChallengesAreAnsweredWithCredentials)
{
    const char* kinds[] = {"basic", "norealm", "charset"};
    for (const char* kind : kinds) {
        JobRecorder recorder;
        std::string name = std::string("auth-") + kind + ".bin";
        run_.user = "u";
        run_.password = "p";
        run_.url = Url(name + "?size=500&auth=" + kind);
        int before = RecordedRequestCount(id_);
        ASSERT_EQ(RunJob(run_, recorder).started, 0);
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << kind;
        EXPECT_EQ(RecordedRequest(id_, before + 1).find("Authorization"), std::string::npos);
        EXPECT_NE(RecordedRequest(id_, before + 2).find("Connection: close\r\nAuthorization: Basic dTpw\r\n\r\n"),
                  std::string::npos)
            << kind;
        EXPECT_EQ(Saved(name), Pattern(0, 500));
    }
}

TEST_F(DownloadJobTest, CredentialsInTheUrlReplaceTheGivenOnes)
{
    run_.user = "other";
    run_.password = "secret";
    std::string url =
        "http://u:p@127.0.0.1:" + std::to_string(HttpPort()) + "/" + id_ + "/inurl.bin?size=100&auth=basic";
    ASSERT_EQ(Run(url).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_NE(RecordedRequest(id_, 2).find("Authorization: Basic dTpw\r\n"), std::string::npos);
}

TEST_F(DownloadJobTest, RejectedCredentialsFailInsteadOfLooping)
{
    run_.user = "u";
    run_.password = "wrong";
    ASSERT_EQ(Run(Url("locked.bin?auth=basic")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 2);

    JobRecorder always;
    run_.password = "p";
    run_.url = Url("always.bin?auth=always");
    ASSERT_EQ(RunJob(run_, always).started, 0);
    EXPECT_EQ(always.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 4);
}

// A login that was never given and one the server refused read differently:
// the first asks the person for one, the second to correct it.
TEST_F(DownloadJobTest, MissingAndRefusedLoginsAreToldApart)
{
    JobOutcome missing = Run(Url("need.bin?size=200&auth=basic"));
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(missing.failure, JobFailureLogin);
    EXPECT_EQ(missing.failureDetail, kLoginNotGiven);
    EXPECT_EQ(RecordedRequestCount(id_), 1);

    JobRecorder wrong;
    run_.user = "u";
    run_.password = "wrong";
    run_.url = Url("need.bin?size=200&auth=basic");
    JobOutcome refused = RunJob(run_, wrong);
    EXPECT_EQ(wrong.Sequence(), "failed");
    EXPECT_EQ(refused.failure, JobFailureLogin);
    EXPECT_EQ(refused.failureDetail, 0);
    EXPECT_EQ(RecordedRequestCount(id_), 3);

    JobRecorder right;
    run_.password = "p";
    EXPECT_EQ(RunJob(run_, right).failure, JobFailureNone);
    EXPECT_EQ(right.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("need.bin"), Pattern(0, 200));
}

TEST_F(DownloadJobTest, UnauthorizedWithoutBasicChallenge)
{
    // Nothing to answer with: failing at once beats asking again unchanged.
    ASSERT_EQ(Run(Url("none.bin?auth=none")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 1);

    // A Digest challenge cannot be read at all.
    JobRecorder digest;
    run_.url = Url("digest.bin?auth=digest");
    ASSERT_EQ(RunJob(run_, digest).started, 0);
    EXPECT_EQ(digest.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 2);
}

TEST_F(DownloadJobTest, CredentialsAreNotCarriedToAnotherHost)
{
    run_.user = "u";
    run_.password = "p";
    std::string target =
        "http%3A%2F%2F127.0.0.1%3A" + std::to_string(HttpPort2()) + "%2F" + id_ + "%2Fmirror.bin%3Fsize%3D300";
    ASSERT_EQ(Run(Url("origin.bin?auth=basic&status=302&loc=" + target)).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    ASSERT_EQ(RecordedRequestCount(id_), 3);
    EXPECT_NE(RecordedRequest(id_, 2).find("Authorization: Basic dTpw"), std::string::npos);
    EXPECT_NE(RecordedRequest(id_, 3).find("Host: " + Host(HttpPort2())), std::string::npos);
    EXPECT_EQ(RecordedRequest(id_, 3).find("Authorization"), std::string::npos);
}

TEST_F(DownloadJobTest, AnotherHostAskingForTheLoginGetsNothing)
{
    // The second server (another port) answers 401 Basic: the login given
    // for the first must not be offered to it, neither at once nor on demand.
    run_.user = "u";
    run_.password = "p";
    std::string target = LocalUrl(HttpPort2(), "/" + id_ + "/mirror.bin?size=300&auth=basic");
    ASSERT_EQ(Run(Url("origin.bin?auth=basic&status=302&loc=" + QueryEscape(target))).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    ASSERT_EQ(RecordedRequestCount(id_), 3);
    EXPECT_NE(RecordedRequest(id_, 2).find("Authorization: Basic dTpw"), std::string::npos);
    EXPECT_NE(RecordedRequest(id_, 3).find("Host: " + Host(HttpPort2())), std::string::npos);
    EXPECT_EQ(RecordedRequest(id_, 3).find("Authorization"), std::string::npos);
    EXPECT_FALSE(FileExists(folder_ + "/mirror.bin"));

    // Also when the first server never asked: the login was still meant
    // for it alone.
    JobRecorder unasked;
    int before = RecordedRequestCount(id_);
    run_.url = Url("plain.bin?status=301&loc=" + QueryEscape(target));
    ASSERT_EQ(RunJob(run_, unasked).started, 0);
    EXPECT_EQ(unasked.Sequence(), "failed");
    ASSERT_EQ(RecordedRequestCount(id_), before + 2);
    EXPECT_EQ(RecordedRequest(id_, before + 2).find("Authorization"), std::string::npos);
}

TEST_F(DownloadJobTest, CredentialsInTheRedirectUrlGoToTheNewHost)
{
    run_.user = "u";
    run_.password = "p";
    std::string target = "http://u2:p2@127.0.0.1:" + std::to_string(HttpPort2()) + "/" + id_ +
                         "/own.bin?size=300&auth=basic&user=u2&pass=p2";
    ASSERT_EQ(Run(Url("origin.bin?auth=basic&status=302&loc=" + QueryEscape(target))).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    ASSERT_EQ(RecordedRequestCount(id_), 4);
    EXPECT_EQ(RecordedRequest(id_, 3).find("Authorization"), std::string::npos);
    // base64 of "u2:p2"
    EXPECT_NE(RecordedRequest(id_, 4).find("Authorization: Basic dTI6cDI=\r\n"), std::string::npos);
    EXPECT_EQ(Saved("own.bin"), Pattern(0, 300));
}

TEST_F(DownloadJobTest, RedirectWithinTheOriginKeepsTheLogin)
{
    // Through the scripted server as proxy, so that host names can differ:
    // the host compares without regard to case, the port as a number.
    std::string proxy = "127.0.0.1:" + std::to_string(HttpPort());
    run_.proxy = proxy.c_str();
    run_.proxyDefaultPort = 8080;
    run_.user = "u";
    run_.password = "p";
    std::string target = "http://origin.TEST:80/" + id_ + "/kept.bin?size=300&auth=basic";
    ASSERT_EQ(Run("http://Origin.Test/" + id_ + "/a.bin?auth=basic&status=302&loc=" + QueryEscape(target)).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    ASSERT_EQ(RecordedRequestCount(id_), 3);
    EXPECT_NE(RecordedRequest(id_, 3).find("GET http://origin.TEST:80/" + id_ + "/kept.bin"), std::string::npos);
    EXPECT_NE(RecordedRequest(id_, 3).find("Authorization: Basic dTpw\r\n"), std::string::npos);
    EXPECT_EQ(Saved("kept.bin"), Pattern(0, 300));

    // The same name on another port is another origin.
    JobRecorder otherPort;
    target = "http://origin.test:8081/" + id_ + "/port.bin?size=300&auth=basic";
    run_.url = "http://origin.test/" + id_ + "/b.bin?auth=basic&status=302&loc=" + QueryEscape(target);
    ASSERT_EQ(RunJob(run_, otherPort).started, 0);
    EXPECT_EQ(otherPort.Sequence(), "failed");
    ASSERT_EQ(RecordedRequestCount(id_), 6);
    EXPECT_NE(RecordedRequest(id_, 5).find("Authorization: Basic dTpw"), std::string::npos);
    EXPECT_EQ(RecordedRequest(id_, 6).find("Authorization"), std::string::npos);
}

// ---- proxy ----------------------------------------------------------------

TEST_F(DownloadJobTest, ProxyGetsTheAbsoluteFormAndFollowsRedirects)
{
    // The scripted server plays the proxy: it records the request line as
    // sent and serves the path.
    std::string proxy = "127.0.0.1:" + std::to_string(HttpPort());
    run_.proxy = proxy.c_str();
    run_.proxyDefaultPort = 8080;
    std::string target = "http%3A%2F%2Forigin.test%2F" + id_ + "%2Fvia.bin%3Fsize%3D800";
    ASSERT_EQ(Run("http://origin.test:8000/" + id_ + "/start.bin?status=302&loc=" + target).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequest(id_, 1),
              "GET http://origin.test:8000/" + id_ + "/start.bin?status=302&loc=" + target +
                  " HTTP/1.0\r\nHost: origin.test:8000\r\nAccept: */*\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(RecordedRequest(id_, 2), "GET http://origin.test:80/" + id_ +
                                           "/via.bin?size=800 HTTP/1.0\r\n"
                                           "Host: origin.test\r\nAccept: */*\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Saved("via.bin"), Pattern(0, 800));
}

TEST_F(DownloadJobTest, ProxyWithoutPortUsesTheDefaultPort)
{
    // Port 1 of 127.0.0.1 is closed: the job must fail connecting there
    // rather than reach the server on its own port.
    run_.proxy = "127.0.0.1";
    run_.proxyDefaultPort = 1;
    ASSERT_EQ(Run(Url("direct.bin?size=10")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(RecordedRequestCount(id_), 0);
}

// ---- time-outs, ticks and stopping ------------------------------------------

TEST_F(DownloadJobTest, SilentServerTicksThenTimesOut)
{
    run_.timeoutMs = 1200;
    DWORD started = GetTickCount();
    ASSERT_EQ(Run(Url("silent.bin?silent=1")).started, 0);
    DWORD elapsed = GetTickCount() - started;
    EXPECT_EQ(recorder_.Sequence(), "timed-out");
    EXPECT_GE(recorder_.Count(JobTick), 2);
    EXPECT_GE(elapsed, 1100u);
    EXPECT_LE(elapsed, 4000u);  // generous: the machine may be busy
    EXPECT_FALSE(FileExists(folder_ + "/silent.bin"));
}

TEST_F(DownloadJobTest, TimedOutIsFollowedByClosed)
{
    run_.url = Url("silent2.bin?silent=1");
    run_.timeoutMs = 800;
    DownloadJob job;
    JobCallbackRegistration registration = recorder_.Registration();
    ASSERT_EQ(job.Prepare(&registration), 0);
    ASSERT_EQ(job.Start(run_.url.c_str(), 0, folder_.c_str(), "", run_.timeoutMs), 0);
    ASSERT_TRUE(recorder_.WaitFor(JobTimedOut, 5000));
    EXPECT_TRUE(recorder_.WaitFor(JobClosed, 3000));
    job.Stop();
}

TEST_F(DownloadJobTest, StopDuringTransferEndsQuietlyAndReleasesTheFile)
{
    run_.url = Url("slow.bin?size=2000000&slow=40");
    DownloadJob* job = new DownloadJob();
    JobCallbackRegistration registration = recorder_.Registration();
    ASSERT_EQ(job->Prepare(&registration), 0);
    ASSERT_EQ(job->Start(run_.url.c_str(), 0, folder_.c_str(), "", 5000), 0);
    ASSERT_TRUE(recorder_.WaitFor(JobData, 5000));
    EXPECT_EQ(job->Stop(), 0);
    size_t events = recorder_.EventCount();
    EXPECT_EQ(recorder_.Sequence(), "accepted data");
    Sleep(300);
    EXPECT_EQ(recorder_.EventCount(), events);
    // The file was closed: it can be deleted at once.
    EXPECT_TRUE(DeleteFileA((folder_ + "/slow.bin").c_str()));
    // A stopped job can run again after Prepare.
    JobRecorder again;
    JobCallbackRegistration second = again.Registration();
    ASSERT_EQ(job->Prepare(&second), 0);
    std::string url = Url("again.bin?size=1000");
    ASSERT_EQ(job->Start(url.c_str(), 0, folder_.c_str(), "", 5000), 0);
    ASSERT_TRUE(again.WaitForEnd(5000));
    EXPECT_EQ(again.Sequence(), "accepted data closed");
    delete job;
    EXPECT_EQ(Saved("again.bin"), Pattern(0, 1000));
}

// A limit keeps each receive small so that its waits stay short; once the
// limit is lifted the running connection must read in full blocks again.
TEST_F(DownloadJobTest, LiftedSpeedLimitGivesTheConnectionFullReceivesBack)
{
    const int64_t limit = 32000;
    run_.url = Url("paced.bin?size=3000000");
    DownloadJob job;
    JobCallbackRegistration registration = recorder_.Registration();
    ASSERT_EQ(job.Prepare(&registration), 0);
    job.SetSpeedLimit(limit);
    ASSERT_EQ(job.Start(run_.url.c_str(), 0, folder_.c_str(), "", 5000), 0);
    ASSERT_TRUE(recorder_.WaitFor(JobData, 5000));
    Sleep(400);
    size_t paced = recorder_.EventCount();
    EXPECT_LT(recorder_.DataBytes(), 1000000) << "the limit did not hold";
    job.SetSpeedLimit(0);
    ASSERT_TRUE(recorder_.WaitForEnd(20000));
    EXPECT_GT(recorder_.LargestDataFrom(paced), limit / 4);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("paced.bin"), Pattern(0, 3000000));
}

namespace {

// Calls Stop on its job from inside the callback, at the first JobAccepted.
struct StoppingCallback {
    DownloadJob* job = nullptr;
    HANDLE stopReturned = nullptr;
    volatile LONG reports = 0;

    static int32_t Callback(void*, int32_t code, int32_t, void* userValue)
    {
        StoppingCallback& self = *static_cast<StoppingCallback*>(userValue);
        if (code == JobTick) return 0;
        InterlockedIncrement(&self.reports);
        if (code == JobAccepted) {
            self.job->Stop();
            SetEvent(self.stopReturned);
        }
        return 0;
    }
};

}  // namespace

TEST_F(DownloadJobTest, StopInsideTheCallbackSilencesTheJobWithoutHanging)
{
    StoppingCallback stopping;
    stopping.job = new DownloadJob();
    stopping.stopReturned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    JobCallbackRegistration registration = {&StoppingCallback::Callback, &stopping};
    ASSERT_EQ(stopping.job->Prepare(&registration), 0);
    std::string url = Url("inside.bin?size=2000000&slow=40");
    ASSERT_EQ(stopping.job->Start(url.c_str(), 0, folder_.c_str(), "", 5000), 0);
    if (WaitForSingleObject(stopping.stopReturned, 5000) != WAIT_OBJECT_0) {
        // The worker is stuck waiting for itself: the job cannot be freed.
        ADD_FAILURE() << "Stop inside the callback did not return";
        return;
    }
    Sleep(300);
    // Nothing after the accepted report: the body of the first chunk and the
    // rest of the transfer are dropped quietly, and the file is released.
    EXPECT_EQ(stopping.reports, 1);
    EXPECT_TRUE(DeleteFileA((folder_ + "/inside.bin").c_str()));

    // The worker has ended by itself; the job is reusable and destroyable.
    JobRecorder again;
    JobCallbackRegistration second = again.Registration();
    ASSERT_EQ(stopping.job->Prepare(&second), 0);
    std::string next = Url("after.bin?size=1500");
    ASSERT_EQ(stopping.job->Start(next.c_str(), 0, folder_.c_str(), "", 5000), 0);
    ASSERT_TRUE(again.WaitForEnd(5000));
    EXPECT_EQ(again.Sequence(), "accepted data closed");
    delete stopping.job;
    CloseHandle(stopping.stopReturned);
    EXPECT_EQ(Saved("after.bin"), Pattern(0, 1500));
}

TEST_F(DownloadJobTest, StopInsideTheStartFailureCallbackReturns)
{
    // The unresolvable host is reported on the calling thread, inside Start.
    DownloadJob job;
    struct Local {
        static int32_t Callback(void*, int32_t code, int32_t, void* userValue)
        {
            if (code == JobFailed) static_cast<DownloadJob*>(userValue)->Stop();
            return 0;
        }
    };
    JobCallbackRegistration registration = {&Local::Callback, &job};
    ASSERT_EQ(job.Prepare(&registration), 0);
    EXPECT_EQ(job.Start("http:///nohost.bin", 0, folder_.c_str(), "", 5000), 1);
    EXPECT_EQ(job.Stop(), 0);
}

// ---- set-up failures ------------------------------------------------------

TEST_F(DownloadJobTest, PrepareWithoutCallbackFails)
{
    DownloadJob job;
    EXPECT_EQ(job.Prepare(nullptr), 2);
    JobCallbackRegistration none = {nullptr, nullptr};
    EXPECT_EQ(job.Prepare(&none), 2);
}

TEST_F(DownloadJobTest, NonHttpUrlIsRefusedWithoutConnecting)
{
    std::string ftp = "ftp://127.0.0.1:" + std::to_string(HttpPort()) + "/" + id_ + "/f.bin";
    EXPECT_EQ(Run(ftp).started, 1);
    EXPECT_EQ(Run("no colon at all").started, 1);
    EXPECT_EQ(RecordedRequestCount(id_), 0);
    EXPECT_EQ(recorder_.EventCount() - static_cast<size_t>(recorder_.Count(JobTick)), 0u);
}

TEST_F(DownloadJobTest, UnusableUrlConnectsNowhere)
{
    // A listener that any connection attempt would reach.
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int addressLength = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &addressLength), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    std::string hostPort = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    const std::string urls[] = {
        "ftp://" + hostPort + "/f.bin", "gopher://" + hostPort + "/f.bin", hostPort + "/f.bin", "no colon at all", "",
    };
    DownloadJob job;
    JobCallbackRegistration registration = recorder_.Registration();
    for (const std::string& url : urls) {
        ASSERT_EQ(job.Prepare(&registration), 0);
        EXPECT_EQ(job.Start(url.c_str(), 0, folder_.c_str(), "", 5000), 1) << url;
        job.Stop();
    }
    ASSERT_EQ(job.Prepare(&registration), 0);
    EXPECT_EQ(job.Start(nullptr, 0, folder_.c_str(), "", 5000), 1);
    job.Stop();

    fd_set pending;
    FD_ZERO(&pending);
    FD_SET(listener, &pending);
    timeval wait = {0, 300000};
    EXPECT_EQ(select(0, &pending, nullptr, nullptr, &wait), 0);
    closesocket(listener);
    EXPECT_EQ(recorder_.EventCount() - static_cast<size_t>(recorder_.Count(JobTick)), 0u);
}

TEST_F(DownloadJobTest, LongestRequestIsSentWhole)
{
    // Every field at its longest, through a proxy (absolute form and a host
    // of 256 bytes), with a Range and an Authorization line: far beyond
    // 1024 bytes, and never cut.
    std::string proxy = "127.0.0.1:" + std::to_string(HttpPort());
    run_.proxy = proxy.c_str();
    run_.proxyDefaultPort = 8080;
    std::string user(28, 'U');
    std::string password(28, 'P');
    run_.user = user;
    run_.password = password;
    std::string referer = "http://example.test/" + std::string(1152 - 20, 'r');
    std::string agent(128, 'a');
    run_.referer = referer.c_str();
    run_.userAgent = agent.c_str();
    run_.offset = 2147483647;
    std::string host = std::string(256 - 12, 'h') + ".origin.test";
    std::string query = "?size=100&range=200&auth=basic&user=" + user + "&pass=" + password;
    std::string head = "/" + id_ + "/";
    std::string tail = "/long.bin" + query;
    std::string path = head + std::string(768 - head.size() - tail.size(), 'd') + tail;
    ASSERT_EQ(path.size(), 768u);
    ASSERT_EQ(Run("http://" + host + ":65535" + path).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    ASSERT_EQ(RecordedRequestCount(id_), 2);
    std::string expected = "GET http://" + host + ":65535" + path +
                           " HTTP/1.0\r\n"
                           "Host: " +
                           host +
                           ":65535\r\n"
                           "Referer: " +
                           referer +
                           "\r\n"
                           "User-Agent: " +
                           agent +
                           "\r\n"
                           "Range: bytes=2147483647-\r\n"
                           "Accept: */*\r\nConnection: close\r\n"
                           "Authorization: Basic " +
                           // base64 of 28 "U", ":" and 28 "P": 57 bytes, 76 characters
                           "VVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVTpQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQ" + "\r\n\r\n";
    EXPECT_GT(expected.size(), 2700u);
    EXPECT_EQ(RecordedRequest(id_, 2), expected);
    EXPECT_EQ(Saved("long.bin"), Pattern(0, 100));
}

TEST_F(DownloadJobTest, UnresolvableHostFailsStartAndReportsOnTheCallingThread)
{
    EXPECT_EQ(Run("http:///nohost.bin").started, 1);
    EXPECT_EQ(recorder_.Sequence(), "failed");
    EXPECT_EQ(recorder_.endThread, GetCurrentThreadId());
}

TEST_F(DownloadJobTest, LongRequestIsSentWhole)
{
    std::string referer = "http://example.test/" + std::string(1100, 'r');
    run_.referer = referer.c_str();
    run_.userAgent = kAgent;
    std::string path = "long" + std::string(600, 'p') + ".bin?size=100";
    ASSERT_EQ(Run(Url(path)).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    std::string request = RecordedRequest(id_, 1);
    EXPECT_GT(request.size(), 1800u);
    EXPECT_NE(request.find("\r\nReferer: " + referer + "\r\n"), std::string::npos);
    EXPECT_NE(request.find("/" + path + " HTTP/1.0\r\n"), std::string::npos);
}

TEST_F(DownloadJobTest, FailedWriteIsAFileErrorNotData)
{
    // Under Wine Z:\dev\full is the Linux device that refuses every write.
    HANDLE full = CreateFileA("Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (full == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no Z:\\dev\\full";
    CloseHandle(full);
    run_.folder = "Z:\\dev";
    ASSERT_EQ(Run(Url("get?size=5000&cd=attachment;%20filename=full")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted file-error");
    EXPECT_EQ(recorder_.DataBytes(), 0);
}
