#include "marrowby/engine/tls_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Copies bytes where NextReceiveSpan says the next receive goes.
void Receive(TlsInput& input, const std::string& bytes)
{
    ReceiveSpan span = NextReceiveSpan(input);
    ASSERT_GE(span.length, bytes.size());
    std::memcpy(span.data, bytes.data(), bytes.size());
    TakeReceived(input, bytes.size());
}

std::string Pending(const TlsInput& input)
{
    return std::string(FirstPendingByte(input), PendingTlsBytes(input));
}

TEST(TlsInput, PartialRecordsStayUntilTheRoomBehindIsTooSmall)
{
    std::vector<char> buffer(4 * kTlsLargestRecord);
    TlsInput input;
    ResetTlsInput(input, buffer.data(), buffer.size());
    EXPECT_EQ(-1, FirstRecordType(input));

    // A receive of two records and a half: the first two are used up, the
    // half stays where it is and the next receive goes right behind it.
    Receive(input, std::string(2 * kTlsLargestRecord, 'a') +
                       "\x15"
                       "half");
    KeepUnprocessed(input, 5);
    EXPECT_EQ(
        "\x15"
        "half",
        Pending(input));
    EXPECT_EQ(kTlsAlertRecord, FirstRecordType(input));
    ReceiveSpan span = NextReceiveSpan(input);
    EXPECT_EQ(buffer.data() + 2 * kTlsLargestRecord + 5, span.data);
    EXPECT_EQ(2 * kTlsLargestRecord - 5, span.length);

    // Less than a record would fit behind the rest: it moves to the start.
    Receive(input, std::string(kTlsLargestRecord, 'b'));
    KeepUnprocessed(input, 100);
    EXPECT_EQ(buffer.data() + 3 * kTlsLargestRecord - 95, FirstPendingByte(input));
    span = NextReceiveSpan(input);
    EXPECT_EQ(std::string(100, 'b'), Pending(input));
    EXPECT_EQ(buffer.data(), FirstPendingByte(input));
    EXPECT_EQ(buffer.data() + 100, span.data);
    EXPECT_EQ(buffer.size() - 100, span.length);

    // All used: the next receive starts at the beginning, without a move.
    KeepUnprocessed(input, 0);
    EXPECT_EQ(0u, PendingTlsBytes(input));
    EXPECT_EQ(buffer.data(), NextReceiveSpan(input).data);
    // More than pending cannot be kept.
    Receive(input, "xyz");
    KeepUnprocessed(input, 10);
    EXPECT_EQ("xyz", Pending(input));
}

TEST(TlsInput, FullBufferOfOneRecordLeavesNoRoom)
{
    std::vector<char> buffer(kTlsLargestRecord);
    TlsInput input;
    ResetTlsInput(input, buffer.data(), buffer.size());
    Receive(input, std::string(kTlsLargestRecord, 'r'));
    EXPECT_EQ(0u, NextReceiveSpan(input).length);
    // A receive longer than the span is cut to it.
    TakeReceived(input, 10);
    EXPECT_EQ(kTlsLargestRecord, PendingTlsBytes(input));
}

TEST(TlsInput, DecryptedDataOfSeveralRecordsBecomesOneRun)
{
    // Records decrypted in place: data begins behind each header.
    std::string wire = "HHHHHone...TTHHHHHtwo..TTTHHHHHTHHHHHthree.T";
    char* base = &wire[0];
    PlainRun run = {nullptr, 0};
    AppendPlain(run, {base, 13, base + 5, 6});
    EXPECT_EQ(base + 5, run.data);  // the first piece does not move
    AppendPlain(run, {base + 13, 13, base + 18, 5});
    AppendPlain(run, {base + 26, 6, base + 31, 0});  // an empty record changes nothing
    AppendPlain(run, {base + 32, 12, base + 37, 6});
    EXPECT_EQ("one...two..three.", std::string(run.data, run.length));

    // Data that did not come back inside its record is gathered at the
    // record's start, and so is the data after it.
    std::string wire2 = "HHHHHxxxxxxxxHHHHHyyT";
    std::string elsewhere = "plain";
    PlainRun other = {nullptr, 0};
    AppendPlain(other, {&wire2[0], 13, &elsewhere[0], 5});
    EXPECT_EQ(&wire2[0], other.data);
    AppendPlain(other, {&wire2[13], 8, &wire2[18], 2});
    EXPECT_EQ("plainyy", std::string(other.data, other.length));
}

}  // namespace
