// Version comparison: every row of its table, unsigned versions, the
// version text and the install folder taken from the updater's own path.
#include <gtest/gtest.h>

#include "tests/updater/record_bytes.h"
#include "tidewell/updater/version_compare.h"

namespace {

RecordView View(const RecordBytes& r)
{
    return RecordView{r.data(), static_cast<uint32_t>(r.size())};
}

RecordBytes WrongMagic(RecordBytes r)
{
    r[3] = 'X';
    return r;
}

TEST(Compare, EveryRowOfTheTable)
{
    const RecordView none{nullptr, 0};
    RecordBytes installed = Record2(0x01000000);
    RecordBytes newer = Record2(0x01000001);
    RecordBytes three = Record2(0x02000000);
    PutLe(three, 4, 3, 2);
    RecordBytes tempFolder = Record2(0x01000001, 0x11, 0x80);
    struct Row {
        const char* what;
        RecordView installed;
        RecordBytes fetched;
        int32_t result;
        InstallFolderRule folder;
    } const rows[] = {
        {"no installed record", none, newer, kCompareOffered, kInstallFolderUnset},
        {"no installed record, format 1", none, Record1(1), kCompareOffered, kInstallFolderUnset},
        {"no installed record, unknown format", none, three, kCompareOffered, kInstallFolderUnset},
        {"no installed record, fetched magic wrong", none, WrongMagic(newer), kCompareUnusable, kInstallFolderUnset},
        {"fetched magic wrong", View(installed), WrongMagic(newer), kCompareUnusable, kInstallFolderUnset},
        {"installed magic wrong", View(WrongMagic(installed)), Record2(0), kCompareOffered, kInstallFolderUnset},
        {"format 1 against format 2", View(installed), Record1(0x09000000), kCompareUnusable, kInstallFolderUnset},
        {"unknown format", View(installed), three, kCompareInvalid, kInstallFolderUnset},
        {"other product", View(installed), Record2(0x01000001, 0x12), kCompareOtherProduct, kInstallFolderOwn},
        {"same version", View(installed), Record2(0x01000000), kCompareSameVersion, kInstallFolderOwn},
        {"older version", View(installed), Record2(0x00090000), kCompareOlderVersion, kInstallFolderOwn},
        {"newer version", View(installed), newer, kCompareOffered, kInstallFolderOwn},
        {"temporary folder", View(installed), tempFolder, kCompareOffered, kInstallFolderTemp},
    };
    for (const Row& row : rows) {
        // The installed view of the wrong-magic row points at a temporary.
        RecordBytes wrong = WrongMagic(installed);
        RecordView have =
            row.installed.bytes && row.what == std::string("installed magic wrong") ? View(wrong) : row.installed;
        Comparison c = CompareRecords(have, View(row.fetched));
        EXPECT_EQ(row.result, c.result) << row.what;
        EXPECT_EQ(row.folder, c.folder) << row.what;
    }
}

TEST(Compare, VersionsAreUnsigned)
{
    RecordBytes low = Record2(0x7FFFFFFF);   // 127.255.255.255
    RecordBytes high = Record2(0x80000000);  // 128.0.0.0
    EXPECT_EQ(kCompareOffered, CompareRecords(View(low), View(high)).result);
    EXPECT_EQ(kCompareOlderVersion, CompareRecords(View(high), View(low)).result);
    char text[kVersionTextSize];
    FormatVersion(0x80000000, text, sizeof(text));
    EXPECT_STREQ("128.0.0.0", text);
    FormatVersion(0x01020304, text, sizeof(text));
    EXPECT_STREQ("1.2.3.4", text);
    FormatVersion(0xFFFFFFFF, text, sizeof(text));
    EXPECT_STREQ("255.255.255.255", text);
}

std::string Folder(const std::string& programPath)
{
    char out[260];
    InstallFolderFromProgramPath(programPath.c_str(), out, sizeof(out));
    return out;
}

TEST(Compare, InstallFolderFromTheProgramPath)
{
    EXPECT_EQ("C:\\Program Files\\Marrowby\\", Folder("C:\\Program Files\\Marrowby\\tidewell.exe"));
    EXPECT_EQ("C:\\apps\\", Folder("C:\\apps\\\\//tidewell.exe"));
    EXPECT_EQ("C:/apps/x\\", Folder("C:/apps/x/tidewell.exe"));
    EXPECT_EQ("C:\\", Folder("C:\\tidewell.exe"));
    EXPECT_EQ("\\\\server\\share\\", Folder("\\\\server\\share\\tidewell.exe"));
    // 0x95 0x5C is one double-byte character: its second byte is no separator, neither for the
    // cut nor for the removal of trailing separators.
    EXPECT_EQ("C:\\\x95\x5c\\", Folder("C:\\\x95\x5c\\tidewell.exe"));
    EXPECT_EQ("C:\\a\x95\x5c\\", Folder("C:\\a\x95\x5c/tidewell.exe"));
    // At most 259 characters of the folder are kept; a folder that does not
    // fit the context's 260 bytes with its backslash is not used at all.
    std::string deep = "C:\\" + std::string(300, 'd');
    EXPECT_EQ("", Folder(deep + "\\tidewell.exe"));
    std::string fits = deep.substr(0, 258);
    EXPECT_EQ(fits + "\\", Folder(fits + "\\tidewell.exe"));
    char small[8];
    EXPECT_EQ(1, InstallFolderFromProgramPath("C:\\apps\\t.exe", small, sizeof(small)));
    EXPECT_EQ(0, InstallFolderFromProgramPath("C:\\app\\t.exe", small, sizeof(small)));
    EXPECT_STREQ("C:\\app\\", small);
}

}  // namespace
