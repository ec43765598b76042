#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "list_host.h"
#include "marrowby/app/settings.h"
#include "settings_sample.h"

namespace {

std::string g_folder;

std::string SettingsPath()
{
    return g_folder + "vorn.cfg";
}

std::string Stored(const ProgramSettings& s)
{
    std::vector<uint8_t> bytes(kSettingsSize);
    EncodeSettings(s, bytes.data());
    return std::string(bytes.begin(), bytes.end());
}

std::string StoredBlock(const ExtraSettings& extra)
{
    std::vector<uint8_t> bytes(kSettingsBlockMaxSize);
    bytes.resize(EncodeSettingsBlock(extra, bytes.data()));
    return std::string(bytes.begin(), bytes.end());
}

size_t StoredSize()
{
    ExtraSettings defaults;
    SetDefaultExtraSettings(&defaults);
    return kSettingsSize + StoredBlock(defaults).size();
}

std::string ExpectedProgramFolder()
{
    char module[1024];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof(module));
    std::string path(module, length);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

void ExpectDefaults()
{
    EXPECT_EQ(10, g_settings.reserved);
    EXPECT_EQ(2, g_settings.maxSimultaneous);
    EXPECT_EQ(0, g_settings.autoStart);
    EXPECT_EQ(0, g_settings.removeOnSuccess);
    EXPECT_EQ(60000u, g_settings.idleTimeoutMs);
    EXPECT_EQ(0, g_settings.useProxy);
    EXPECT_STREQ("", g_settings.proxyAddress);
    EXPECT_STREQ("", g_settings.defaultUser);
    EXPECT_STREQ("", g_settings.defaultFolder);
    EXPECT_EQ(ExpectedProgramFolder() + "default.wrg", g_settings.listPath);
    EXPECT_EQ(1, g_extraSettings.balloonNotices);
    EXPECT_EQ(0u, g_extraSettings.laterLength);
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_folder = FreshTestFolder();
        SetSettingsFolder(g_folder.c_str());
        memset(&g_settings, 0x3C, sizeof(g_settings));  // anything but the defaults
        memset(&g_extraSettings, 0x3C, sizeof(g_extraSettings));
    }
    void TearDown() override { SetSettingsFolder(nullptr); }
};

// Must stay the first test: it needs the process before any LoadSettings.
TEST_F(SettingsFile, SaveBeforeLoadNeverStoresTheEmptyRecord)
{
    ASSERT_FALSE(SettingsLoaded());
    memset(&g_settings, 0, sizeof(g_settings));
    WriteWholeFile(SettingsPath(), "precious");
    EXPECT_EQ(4, SaveSettings());
    EXPECT_EQ("precious", ReadWholeFile(SettingsPath()));
    EXPECT_FALSE(FileExists(SettingsPath() + ".new"));
}

TEST_F(SettingsFile, ProgramFolderIsTheModuleFolderWithBackslash)
{
    char folder[kProgramFolderSize];
    ProgramFolder(folder);
    EXPECT_EQ(ExpectedProgramFolder(), folder);
    ASSERT_GT(strlen(folder), 0u);
    EXPECT_EQ('\\', folder[strlen(folder) - 1]);
}

TEST_F(SettingsFile, MissingFileGivesDefaults)
{
    LoadSettings();
    EXPECT_TRUE(SettingsLoaded());
    ExpectDefaults();
}

TEST_F(SettingsFile, ShortForeignOrEmptyFilesGiveDefaults)
{
    ProgramSettings s;
    SetDefaultSettings(&s, "X:\\");
    s.maxSimultaneous = 9;
    std::string good = Stored(s);
    for (std::string bad : {good.substr(0, kSettingsSize - 1), "NROV" + good.substr(4), std::string()}) {
        WriteWholeFile(SettingsPath(), bad);
        memset(&g_settings, 0x3C, sizeof(g_settings));
        LoadSettings();
        ExpectDefaults();
    }
    // A good block does not save a record that is not one.
    ExtraSettings extra;
    SetDefaultExtraSettings(&extra);
    extra.balloonNotices = 0;
    WriteWholeFile(SettingsPath(), "NROV" + good.substr(4) + StoredBlock(extra));
    LoadSettings();
    ExpectDefaults();
}

TEST_F(SettingsFile, LongFileUsesItsFirstRecord)
{
    ProgramSettings s;
    SetDefaultSettings(&s, "X:\\");
    s.maxSimultaneous = 7;
    strcpy(s.listPath, "Q:\\other.wrg");
    WriteWholeFile(SettingsPath(), Stored(s) + std::string(680, 'Z'));
    LoadSettings();
    EXPECT_EQ(7, g_settings.maxSimultaneous);
    EXPECT_STREQ("Q:\\other.wrg", g_settings.listPath);
}

// An empty listPath would leave the list unread at start and unwritten at
// exit; it takes the default list file, the rest of the record is kept.
TEST_F(SettingsFile, EmptyListPathTakesTheDefaultListFile)
{
    ProgramSettings s;
    SetDefaultSettings(&s, "X:\\");
    s.maxSimultaneous = 5;
    memset(s.listPath, 0, sizeof(s.listPath));
    WriteWholeFile(SettingsPath(), Stored(s));
    LoadSettings();
    EXPECT_EQ(5, g_settings.maxSimultaneous);
    EXPECT_EQ(ExpectedProgramFolder() + "default.wrg", g_settings.listPath);
}

TEST_F(SettingsFile, EveryFieldSurvivesSaveAndLoad)
{
    LoadSettings();
    g_settings = FilledSettings();
    ProgramSettings saved = g_settings;
    g_extraSettings.balloonNotices = 0;
    ASSERT_EQ(0, SaveSettings());
    std::string bytes = ReadWholeFile(SettingsPath());
    ASSERT_EQ(StoredSize(), bytes.size());
    EXPECT_EQ("VORN", bytes.substr(0, 4));
    EXPECT_EQ(Stored(saved), bytes.substr(0, kSettingsSize));
    EXPECT_EQ(StoredBlock(g_extraSettings), bytes.substr(kSettingsSize));
    EXPECT_FALSE(FileExists(SettingsPath() + ".new"));

    memset(&g_settings, 0, sizeof(g_settings));
    memset(&g_extraSettings, 0x3C, sizeof(g_extraSettings));
    LoadSettings();
    memcpy(saved.magic, "VORN", 4);
    EXPECT_EQ(0, memcmp(&saved, &g_settings, kSettingsSize));
    EXPECT_EQ(0, g_extraSettings.balloonNotices);

    // The same file cut after its record, as an earlier program wrote it:
    // the record stays, the options are the defaults.
    WriteWholeFile(SettingsPath(), bytes.substr(0, kSettingsSize));
    LoadSettings();
    EXPECT_EQ(0, memcmp(&saved, &g_settings, kSettingsSize));
    EXPECT_EQ(1, g_extraSettings.balloonNotices);
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFile)
{
    LoadSettings();
    g_settings.maxSimultaneous = 5;
    ASSERT_EQ(0, SaveSettings());
    std::string before = ReadWholeFile(SettingsPath());
    // The temporary file cannot be created: a folder stands in its way.
    ASSERT_TRUE(CreateDirectoryA((SettingsPath() + ".new").c_str(), nullptr));
    g_settings.maxSimultaneous = 6;
    EXPECT_EQ(1, SaveSettings());
    EXPECT_EQ(before, ReadWholeFile(SettingsPath()));
    RemoveDirectoryA((SettingsPath() + ".new").c_str());
    EXPECT_EQ(0, SaveSettings());
    LoadSettings();
    EXPECT_EQ(6, g_settings.maxSimultaneous);
}

TEST_F(SettingsFile, FolderEndingInADoubleByteCharacterGetsASeparator)
{
    // 0x95 0x5C is a character whose second byte is a backslash.
    std::string folder = g_folder + "\x95\x5C";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    SetSettingsFolder(folder.c_str());
    char path[1024];
    SettingsFilePath(path, sizeof(path));
    EXPECT_EQ(folder + "\\vorn.cfg", path);
    LoadSettings();
    ASSERT_EQ(0, SaveSettings());
    EXPECT_EQ(StoredSize(), ReadWholeFile(folder + "\\vorn.cfg").size());
    EXPECT_FALSE(FileExists(folder + "vorn.cfg"));  // not glued to the folder's name
}

TEST_F(SettingsFile, SaveReplacesAnUnreadableFile)
{
    WriteWholeFile(SettingsPath(), "junk");
    LoadSettings();
    ExpectDefaults();
    ASSERT_EQ(0, SaveSettings());
    EXPECT_EQ(StoredSize(), ReadWholeFile(SettingsPath()).size());
}

}  // namespace
