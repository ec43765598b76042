// A segmented download's two files as its connections leave them: the head
// segment appends to the named file, every other segment writes at its
// offsets into the side file. Lists saved on the way and read by the older
// rules (the offset is the size of the file "_RealFileName" names) always
// resume from bytes that are all right, and a resume from such an offset,
// segmented again, ends in the whole file.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/text_helpers.h"
#include "marrowby/app/list_format.h"
#include "marrowby/engine/segment_plan.h"

namespace {

constexpr int64_t kTotal = (4 << 20) + 12345;
constexpr int32_t kConnections = 4;

// The bytes the server sends, byte i being i % 251.
const std::string& Served()
{
    static std::string bytes;
    if (bytes.empty()) {
        bytes.resize(static_cast<size_t>(kTotal));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The download's files on disk, written the way its connections write them.
struct Download {
    std::string folder;
    SegmentPlan plan;
    std::fstream named;
    std::fstream side;

    // The named file keeps its first kept bytes; the side file is made
    // anew at the full size before anything lands in it.
    Download(const std::string& where, int64_t kept) : folder(where)
    {
        std::string head = FileBytes(Named()).substr(0, static_cast<size_t>(kept));
        std::ofstream(Named(), std::ios::binary | std::ios::trunc).write(head.data(), kept);
        std::ofstream(Side(), std::ios::binary | std::ios::trunc).close();
        named.open(Named(), std::ios::binary | std::ios::in | std::ios::out);
        side.open(Side(), std::ios::binary | std::ios::in | std::ios::out);
        side.seekp(kTotal - 1);
        side.put('\0');
        PlanSegments(plan, kTotal, kept, kConnections);
    }
    std::string Named() const { return folder + "a.bin"; }
    std::string Side() const { return folder + "a.bin.mwpart"; }

    // Connection c receives up to count bytes of its segment (taking new
    // work when it has none). False when there is nothing for it.
    bool Receive(int32_t c, int64_t count)
    {
        int64_t first = 0;
        int64_t end = 0;
        bool working = false;
        for (int32_t i = 0; i < plan.count; ++i) working = working || plan.segments[i].owner == c;
        if ((!working || OwnSegmentDone(plan, c)) && !TakeSegmentWork(plan, c, first, end)) return false;
        int64_t at = 0;
        for (int32_t i = 0; i < plan.count; ++i) {
            const Segment& s = plan.segments[i];
            if (s.owner == c) at = s.start + s.claimed;
        }
        const bool head = OwnsHeadSegment(plan, c);
        int64_t allowed = ClaimSegmentBytes(plan, c, count);
        std::fstream& file = head ? named : side;
        file.seekp(at);
        file.write(Served().data() + at, static_cast<std::streamsize>(allowed));
        file.flush();
        ConfirmSegmentBytes(plan, c, allowed);
        return true;
    }

    // Random receives, failures and splits until the plan is done or steps run out.
    void Run(std::mt19937& random, int steps)
    {
        for (int step = 0; step < steps && !AllSegmentsDone(plan); ++step) {
            int32_t c = static_cast<int32_t>(random() % kConnections);
            if (random() % 40 == 0) {
                ReleaseSegment(plan, c);  // the connection failed; its rest is free
                continue;
            }
            Receive(c, 1 + static_cast<int64_t>(random() % (300 * 1024)));
        }
    }
};

// The list the program saves for the item now.
std::string SavedList(const Download& download)
{
    static char segments[kSegmentPlanTextMax];
    EXPECT_TRUE(FormatSegmentPlan(download.plan, segments, sizeof segments));
    std::string out;
    ListWriter* writer = new ListWriter;
    InitListWriter(
        writer,
        [](void* context, const uint8_t* data, size_t length) {
            static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
            return 0;
        },
        &out);
    ListRecordOut record = {"",
                            download.folder.c_str(),
                            kTotal,
                            0,
                            download.folder.c_str(),
                            "a.bin",
                            "http://h/a.bin",
                            nullptr,
                            "",
                            0,
                            nullptr,
                            segments,
                            0};
    WriteListRecord(writer, record);
    FlushListWriter(writer);
    delete writer;
    return out;
}

// The older rules: every line's key is matched, "_Segments" means nothing,
// and "_RealFileName" gives the offset as the named file's size.
int64_t OlderReaderOffset(const std::string& list, std::string* segments)
{
    int64_t offset = -1;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        std::string line = list.substr(start, end - start);
        start = end + 1;
        char* key = nullptr;
        char* value = nullptr;
        if (SplitSetting(&line[0], &key, &value) != 0) continue;
        CutAtLineEnd(value);
        if (MatchListKey(key) == kListKeyRealFileName) offset = static_cast<int64_t>(FileBytes(value).size());
        if (MatchListKey(key) == kListKeySegments) *segments = value;
    }
    return offset;
}

testing::AssertionResult AllServed(const std::string& bytes, int64_t count)
{
    if (static_cast<int64_t>(bytes.size()) < count) return testing::AssertionFailure() << "too short";
    if (memcmp(bytes.data(), Served().data(), static_cast<size_t>(count)) != 0)
        return testing::AssertionFailure() << "a byte is wrong";
    return testing::AssertionSuccess();
}

// The two files merged: the head's share from the named file, the rest
// from the side file.
std::string Merged(const Download& download)
{
    const int64_t headEnd = HeadSegmentEnd(download.plan);
    std::string named = FileBytes(download.Named());
    std::string side = FileBytes(download.Side());
    EXPECT_EQ(headEnd, static_cast<int64_t>(named.size()));
    EXPECT_EQ(kTotal, static_cast<int64_t>(side.size()));
    return named.substr(0, static_cast<size_t>(headEnd)) + side.substr(static_cast<size_t>(headEnd));
}

TEST(SegmentLayout, AnOlderReaderResumesFromAPrefixWhoseBytesAreAllRight)
{
    std::mt19937 random(20);
    for (int round = 0; round < 2; ++round) {
        Download download(testing::TempDir(), 0);
        std::string resumeList;
        while (!AllSegmentsDone(download.plan)) {
            download.Run(random, 25);
            std::string segments;
            std::string list = SavedList(download);
            int64_t offset = OlderReaderOffset(list, &segments);
            std::string named = FileBytes(download.Named());
            ASSERT_EQ(static_cast<int64_t>(named.size()), offset);
            ASSERT_TRUE(AllServed(named, offset));
            // The named file never holds more than the head's share, and a
            // reader knowing the segments counts every byte written.
            EXPECT_LE(offset, HeadSegmentEnd(download.plan));
            SegmentPlan back;
            ASSERT_TRUE(ParseSegmentPlan(segments.c_str(), kTotal, back));
            TrustSegmentBytes(back, offset, true);
            EXPECT_EQ(WrittenBytes(download.plan), WrittenBytes(back));
            if (resumeList.empty() && WrittenBytes(download.plan) > kTotal / 3) resumeList = list;
        }
        EXPECT_TRUE(AllServed(Merged(download), kTotal));

        // The older reader's offset from a list saved on the way, resumed
        // with segments: the head goes on in the named file from there.
        std::string ignored;
        const int64_t offset = OlderReaderOffset(resumeList, &ignored);
        ASSERT_GE(offset, 0);
        download.named.close();
        download.side.close();
        Download resumed(download.folder, offset);
        int64_t end = 0;
        ASSERT_TRUE(TakeSegmentAt(resumed.plan, 0, offset, end));
        EXPECT_TRUE(OwnsHeadSegment(resumed.plan, 0));
        resumed.Run(random, 1000000);
        ASSERT_TRUE(AllSegmentsDone(resumed.plan));
        EXPECT_TRUE(AllServed(Merged(resumed), kTotal)) << round;
    }
}

}  // namespace
