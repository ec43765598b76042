#include "marrowby/app/handover_payload.h"

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Seen {
    char kind;
    std::string text;
    bool usable;
};

std::vector<Seen> Entries(const std::vector<uint8_t>& payload)
{
    std::vector<Seen> seen;
    EXPECT_EQ(0, CheckHandover(payload.data(), payload.size()));
    for (size_t at = kHandoverFirstEntry; at < payload.size();) {
        HandoverEntry entry;
        size_t next = ReadHandoverEntry(payload.data(), payload.size(), at, &entry);
        EXPECT_GT(next, at);
        at = next;
        seen.push_back({entry.kind, entry.text, entry.usable});
    }
    return seen;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A command line as the sender reads it, packed and read back by the
// receiver: addresses in order, "/import FILE" in any case, an address that
// is no http(s) URL carried but marked unusable.
TEST(HandoverPayload, CommandLineTravelsWholeAndInOrder)
{
    const char* args[] = {"marrowby.exe",
                          "http://127.0.0.1:8080/a.bin",
                          "/IMPORT",
                          "C:\\lists\\mirror.lst",
                          "https://[::1]/b?x=1",
                          "-import",
                          "D:\\two.txt",
                          "ftp://127.0.0.1/c",
                          "not a url",
                          "/import"};
    std::vector<CommandLineItem> items = ReadCommandLineItems(10, args);
    ASSERT_EQ(6u, items.size());  // the last /import names no file
    std::vector<uint8_t> payload;
    BeginHandover(&payload);
    EXPECT_EQ(kHandoverFirstEntry, payload.size());
    for (const CommandLineItem& item : items) ASSERT_TRUE(AddHandoverEntry(&payload, item.kind, item.text));
    std::vector<Seen> seen = Entries(payload);
    ASSERT_EQ(6u, seen.size());
    const Seen expected[] = {
        {'U', "http://127.0.0.1:8080/a.bin", true}, {'I', "C:\\lists\\mirror.lst", true},
        {'U', "https://[::1]/b?x=1", true},         {'I', "D:\\two.txt", true},
        {'U', "ftp://127.0.0.1/c", false},          {'U', "not a url", false},
    };
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(expected[i].kind, seen[i].kind) << i;
        EXPECT_EQ(expected[i].text, seen[i].text) << i;
        EXPECT_EQ(expected[i].usable, seen[i].usable) << i;
    }
    // A start without arguments sends the header alone.
    std::vector<uint8_t> empty;
    BeginHandover(&empty);
    EXPECT_TRUE(Entries(empty).empty());
    EXPECT_TRUE(ReadCommandLineItems(1, args).empty());
}

// What a receiver must refuse before reading a single entry: too short, no
// header, too long, a text without its NUL, an unknown kind, texts too long
// for their kind, an empty import path. Addresses that hold a line end or
// are no URL at all pass the check but are not usable.
TEST(HandoverPayload, ShortLongUnterminatedAndForeignDataAreRefused)
{
    EXPECT_EQ(1, CheckHandover(nullptr, 0));
    EXPECT_EQ(1, CheckHandover(Bytes("MWH").data(), 3));
    std::vector<uint8_t> foreign = Bytes("XWHOUhttp://a/");
    foreign.push_back(0);
    EXPECT_EQ(1, CheckHandover(foreign.data(), foreign.size()));
    std::vector<uint8_t> huge = Bytes("MWHO");
    huge.resize(kHandoverMaxSize + 1, 0);
    EXPECT_EQ(1, CheckHandover(huge.data(), huge.size()));

    std::vector<uint8_t> good;
    BeginHandover(&good);
    ASSERT_TRUE(AddHandoverEntry(&good, kHandoverUrl, "http://127.0.0.1/x"));
    EXPECT_EQ(0, CheckHandover(good.data(), good.size()));
    EXPECT_EQ(2, CheckHandover(good.data(), good.size() - 1));  // the NUL cut off
    std::vector<uint8_t> unknown = good;
    unknown[kHandoverFirstEntry] = 'X';
    EXPECT_EQ(3, CheckHandover(unknown.data(), unknown.size()));
    std::vector<uint8_t> kindOnly = Bytes("MWHOU");
    EXPECT_EQ(2, CheckHandover(kindOnly.data(), kindOnly.size()));

    std::string longest = "http://127.0.0.1/" + std::string(kHandoverUrlMax - 17, 'a');
    ASSERT_EQ(kHandoverUrlMax, longest.size());
    std::vector<uint8_t> payload;
    BeginHandover(&payload);
    EXPECT_TRUE(AddHandoverEntry(&payload, kHandoverUrl, longest.c_str()));
    EXPECT_FALSE(AddHandoverEntry(&payload, kHandoverUrl, (longest + "a").c_str()));
    EXPECT_FALSE(AddHandoverEntry(&payload, kHandoverImport, std::string(kHandoverPathMax + 1, 'p').c_str()));
    EXPECT_EQ(0, CheckHandover(payload.data(), payload.size()));
    // The same texts built by hand, as a foreign sender could.
    std::vector<uint8_t> tooLong = Bytes("MWHOU" + longest + "a");
    tooLong.push_back(0);
    EXPECT_EQ(4, CheckHandover(tooLong.data(), tooLong.size()));
    std::vector<uint8_t> longPath = Bytes("MWHOI" + std::string(kHandoverPathMax + 1, 'p'));
    longPath.push_back(0);
    EXPECT_EQ(4, CheckHandover(longPath.data(), longPath.size()));
    std::vector<uint8_t> emptyPath = Bytes("MWHOI");
    emptyPath.push_back(0);
    EXPECT_EQ(4, CheckHandover(emptyPath.data(), emptyPath.size()));

    // A payload never grows past its limit.
    std::vector<uint8_t> full;
    BeginHandover(&full);
    size_t added = 0;
    while (AddHandoverEntry(&full, kHandoverUrl, longest.c_str())) ++added;
    EXPECT_LE(full.size(), kHandoverMaxSize);
    EXPECT_EQ(kHandoverMaxSize / (kHandoverUrlMax + 2), added);
    EXPECT_EQ(0, CheckHandover(full.data(), full.size()));

    std::vector<uint8_t> odd;
    BeginHandover(&odd);
    for (const char* text : {"http://127.0.0.1/a\r\nhttp://127.0.0.1/b", "http://127.0.0.1/\x01", "", "javascript:x",
                             "127.0.0.1/no-scheme", "\x82\xa0\x82\xa2"}) {
        ASSERT_TRUE(AddHandoverEntry(&odd, kHandoverUrl, text));
    }
    std::vector<Seen> seen = Entries(odd);
    ASSERT_EQ(6u, seen.size());
    for (const Seen& s : seen) EXPECT_FALSE(s.usable) << s.text;
}

}  // namespace
