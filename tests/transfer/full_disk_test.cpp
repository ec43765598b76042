// A segmented download onto a disk that fills up in the middle: a small
// tmpfs that tests/support/small_disk.py mounts and gives the Wine prefix as
// a drive. The download fails with a file error that names the full disk,
// keeps what it knows of its segments, and once room is made a restart
// finishes the file byte-exact without fetching it all again.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "marrowby/engine/segment_plan.h"
#include "tests/transfer/segment_checks.h"
#include "tests/transfer/transfer_support.h"
#include "tools/job_setup.h"

namespace {

const int64_t kServedSize = 12 << 20;  // www/big.bin of this run
const int64_t kFillerSize = 8 << 20;   // of the 16 MiB disk

// One job on the segments' path, run to its first end and stopped.
struct FullDiskRun {
    JobOutcome outcome;
    int32_t endCode = 0;
    int32_t detail = 0;
    std::string planText;  // what the program would save as the list's segments
};

FullDiskRun RunSegmented(const std::string& url, const std::string& folder, const std::string& planText,
                         JobRecorder& recorder)
{
    FullDiskRun run;
    DownloadJob job;
    JobCallbackRegistration registration = recorder.Registration();
    JobSetup setup;
    setup.url = url.c_str();
    setup.folder = folder.c_str();
    setup.lastName = "big.bin";
    setup.segments = 4;
    setup.timeoutMs = 20000;
    job.SetSegmentPlan(planText.c_str());
    run.outcome.started = StartJob(job, registration, setup);
    if (run.outcome.started == 0) run.outcome.ended = recorder.WaitForEnd(60000);
    run.outcome.failure = job.LastFailure();
    run.detail = job.LastFailureDetail();
    job.Stop();
    char text[kSegmentPlanTextMax];
    if (job.SegmentPlanText(text, sizeof text)) run.planText = text;
    return run;
}

std::string EndCodeOf(JobRecorder& recorder)
{
    std::string sequence = recorder.Sequence();
    size_t last = sequence.rfind(' ');
    return last == std::string::npos ? sequence : sequence.substr(last + 1);
}

TEST(FullDiskTest, ASegmentedDownloadFailsOnAFullDiskKeepsItsStateAndResumesWhenThereIsRoom)
{
    const char* disk = EnvOrNull("MW_SMALL_DISK");
    if (disk == nullptr) GTEST_SKIP() << "no small disk: run through tests/support/small_disk.py as root";
    if (ServerPort("MW_NGINX_PORT") == 0) GTEST_SKIP() << "run through tests/support/servers.py with nginx";
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &wsa), 0);
    const std::string folder = std::string(disk) + "downloads\\";
    const std::string filler = std::string(disk) + "filler.bin";
    const std::string url = LocalUrl(ServerPort("MW_NGINX_PORT"), "/big.bin");
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteFileA((folder + "big.bin").c_str());
    DeleteFileA((folder + "big.bin.segments").c_str());
    WriteFileBytes(filler, std::string((size_t)kFillerSize, 'f'));
    ULARGE_INTEGER free = {};
    ASSERT_TRUE(GetDiskFreeSpaceExA(disk, &free, nullptr, nullptr));
    ASSERT_LT((int64_t)free.QuadPart, kServedSize) << "the disk has room for the whole file";

    JobRecorder failing;
    FullDiskRun full = RunSegmented(url, folder, "", failing);
    ASSERT_EQ(full.outcome.started, 0);
    ASSERT_TRUE(full.outcome.ended);
    EXPECT_EQ(EndCodeOf(failing), "file-error") << failing.Sequence();
    EXPECT_EQ(full.outcome.failure, JobFailureFileWrite);
    EXPECT_TRUE(full.detail == ERROR_DISK_FULL || full.detail == ERROR_HANDLE_DISK_FULL) << full.detail;
    EXPECT_GT(failing.DataBytes(), 0) << "the disk filled in the middle, not at the start";

    // What the download knows of its segments is kept, in the list's text
    // and beside the file: some written, not all.
    SegmentPlan listed = {};
    ASSERT_TRUE(ParseSegmentPlan(full.planText.c_str(), kServedSize, listed)) << full.planText;
    EXPECT_GE(listed.count, 2);
    EXPECT_GT(WrittenBytes(listed), 0);
    EXPECT_FALSE(AllSegmentsDone(listed));
    std::string state = ReadFileBytes(folder + "big.bin.segments");
    EXPECT_NE(state.find(full.planText), std::string::npos) << "the state beside the file: " << state;
    const int64_t written = WrittenBytes(listed);

    // Room again: the restart goes on from the segments and the file is whole.
    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    JobRecorder resumed;
    FullDiskRun again = RunSegmented(url, folder, full.planText, resumed);
    ASSERT_EQ(again.outcome.started, 0);
    ASSERT_TRUE(again.outcome.ended);
    EXPECT_EQ(resumed.Sequence(), "accepted data closed");
    EXPECT_EQ(again.outcome.failure, JobFailureNone);
    EXPECT_TRUE(FileHoldsPattern(folder + "big.bin", kServedSize));
    EXPECT_FALSE(FileExists(folder + "big.bin.segments"));
    EXPECT_LE(resumed.DataBytes(), kServedSize - written) << "bytes already written were fetched again";
    DeleteFileA((folder + "big.bin").c_str());
    WSACleanup();
}

}  // namespace
