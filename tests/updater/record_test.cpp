// The update record reader: every field at its offset, the boundaries of
// both formats' fixed parts, and texts or notes that run to the record's end.
#include <gtest/gtest.h>

#include "tests/updater/record_bytes.h"
#include "tidewell/updater/update_record.h"
#include "tidewell/updater/version_compare.h"

namespace {

RecordView View(const RecordBytes& r, size_t size)
{
    return RecordView{r.data(), static_cast<uint32_t>(size)};
}

RecordView View(const RecordBytes& r)
{
    return View(r, r.size());
}

std::string Text(const RecordBytes& r, uint32_t offset, size_t capacity = 512, bool* cut = nullptr)
{
    char out[512];
    RecordText(View(r), offset, out, capacity, cut);
    return out;
}

TEST(UpdateRecord, FieldsOfBothFormatsAtTheirOffsets)
{
    RecordBytes two = Record2(0x01020304, 0x11, 0xC8, "http://h/a.lzh", "Hi");
    RecordView v = View(two);
    EXPECT_TRUE(RecordHasMagic(v));
    EXPECT_EQ(2, RecordFormat(v));
    EXPECT_EQ(kRecordLengthOk, CheckRecordLength(v));
    EXPECT_EQ(0x01020304u, RecordVersion(v));
    EXPECT_EQ(0xC8u, RecordFlags(v));
    EXPECT_EQ(0xBEEF, RecordArchiveCrc(v));
    EXPECT_EQ(two.data() + 20, RecordProductId(v));
    EXPECT_EQ("Marrowby", Text(two, kRecord2ProductNameOffset));
    EXPECT_EQ("marrowby.exe", Text(two, kRecord2ProgramOffset));
    EXPECT_EQ("http://127.0.0.1/info.qvn", Text(two, kRecord2InfoUrlOffset));
    EXPECT_EQ("http://h/a.lzh", Text(two, RecordArchiveUrlOffset(v)));
    uint32_t units = 0;
    EXPECT_TRUE(RecordNotes(v, RecordNotesOffset(v), &units));
    EXPECT_EQ(2u, units);
    EXPECT_EQ(368u, RecordNotesOffset(v));

    RecordBytes one = Record1(0x05060708, "http://h/old.lzh", "abc");
    RecordView w = View(one);
    EXPECT_EQ(1, RecordFormat(w));
    EXPECT_EQ(0x05060708u, RecordVersion(w));
    EXPECT_EQ(0u, RecordFlags(w));
    EXPECT_EQ(0, RecordArchiveCrc(w));
    EXPECT_EQ(one.data() + 16, RecordProductId(w));
    EXPECT_EQ("http://h/old.lzh", Text(one, RecordArchiveUrlOffset(w)));
    EXPECT_TRUE(RecordNotes(w, RecordNotesOffset(w), &units));
    EXPECT_EQ(3u, units);
}

TEST(UpdateRecord, FixedPartBoundariesOfBothFormats)
{
    RecordBytes two = Record2(1);
    RecordBytes one = Record1(1);
    EXPECT_EQ(kRecordShort, CheckRecordLength(View(two, 369)));
    EXPECT_EQ(kRecordLengthOk, CheckRecordLength(View(two, 370)));
    EXPECT_EQ(kRecordShort, CheckRecordLength(View(one, 295)));
    EXPECT_EQ(kRecordLengthOk, CheckRecordLength(View(one, 296)));
    EXPECT_EQ(kRecordNoHead, CheckRecordLength(View(two, 7)));
    EXPECT_FALSE(RecordHasMagic(View(two, 3)));
    EXPECT_TRUE(RecordHasMagic(View(two, 4)));
    EXPECT_EQ(-1, RecordFormat(View(two, 7)));
    RecordBytes three = two;
    PutLe(three, 4, 3, 2);
    EXPECT_EQ(kRecordFormatUnknown, CheckRecordLength(View(three)));

    // A fetched record shorter than its fixed part is refused as invalid,
    // with or without an installed record to compare against.
    RecordView none{nullptr, 0};
    RecordBytes installed = Record2(0x01000000);
    for (RecordView installedView : {none, View(installed)}) {
        EXPECT_EQ(kCompareInvalid, CompareRecords(installedView, View(two, 369)).result);
        EXPECT_EQ(kCompareInvalid, CompareRecords(installedView, View(two, 7)).result);
        EXPECT_EQ(kCompareUnusable, CompareRecords(installedView, View(two, 3)).result);
    }
    EXPECT_EQ(kCompareInvalid, CompareRecords(none, View(one, 295)).result);
    EXPECT_EQ(kCompareOffered, CompareRecords(none, View(one, 296)).result);
    EXPECT_EQ(kCompareOffered, CompareRecords(none, View(two, 370)).result);
}

TEST(UpdateRecord, TextsEndAtTheirTerminatorTheRecordOrTheBuffer)
{
    // The product name runs past its 32-byte field into the program name:
    // it is read up to its terminator.
    RecordBytes r = Record2(1);
    PutText(r, 44, std::string(32, 'n'));
    EXPECT_EQ(std::string(32, 'n') + "marrowby.exe", Text(r, kRecord2ProductNameOffset));

    // An archive URL that reaches the end of the record without a
    // terminator is cut there, as are notes without one.
    RecordBytes open = Record2(1);
    open.resize(370);
    PutText(open, 236, std::string(134, 'u'));
    bool cut = false;
    EXPECT_EQ(std::string(134, 'u'), Text(open, 236, 512, &cut));
    EXPECT_TRUE(cut);
    RecordBytes notes = Record2(1, 0x11, 0, "x", "");
    PutNotes(notes, 368, "abcd", false);
    notes.push_back('z');  // an odd last byte is not half a unit
    uint32_t units = 0;
    EXPECT_FALSE(RecordNotes(View(notes), 368, &units));
    EXPECT_EQ(4u, units);
    EXPECT_FALSE(RecordNotes(View(notes, 368), 368, &units));
    EXPECT_EQ(0u, units);

    // A full buffer cuts between characters, never inside a Shift-JIS pair,
    // and a lead byte that is the record's last byte stands alone.
    RecordBytes sjis = Record2(1);
    PutText(sjis, 44, "ab\x95\x5c");
    EXPECT_EQ("ab", Text(sjis, 44, 4, &cut));
    EXPECT_TRUE(cut);
    EXPECT_EQ("ab\x95\x5c", Text(sjis, 44, 5));
    RecordBytes last(100, 'a');
    last[99] = '\x95';
    char out[8];
    RecordText(View(last), 97, out, sizeof(out));
    EXPECT_STREQ("aa\x95", out);
}

}  // namespace
