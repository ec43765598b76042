// The texts of marrowby's resources as the program reads them: every string
// of the string table and every label of the main menu, in Shift-JIS.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <windows.h>

#include "marrowby/resources/resource.h"

namespace {

struct StringText {
    UINT id;
    const char* text;
};

const StringText kStrings[] = {
    {1, "Marrowby"},
    {2, "Marrowby/0.23 ( built on Tessaline )"},
    {3,
     "\x83\x8a\x83X\x83g\x82\xf0\x93\xc7\x8d\x9e\x82\xde\x88\xd7\x82\xcc\x83\x81\x83\x82\x83\x8a"
     "\x82\xaa\x95s\x91\xab\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81"
     "B"},
    {4,
     "Tidewell\x82\xf0\x8bN\x93\xae\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81"
     "B"},
    {5, "\x8aJ\x82\xad"},
    {6, "\x95\xdb\x91\xb6"},
    {7,
     "\x90V\x8bK\x83_\x83"
     "E\x83\x93\x83\x8d\x81[\x83h"},
    {8, "\x8d\xed\x8f\x9c"},
    {9, "\x92\xe2\x8e~"},
    {10, "\x8aJ\x8en"},
    {11,
     "\x83_\x83"
     "E\x83\x93\x83\x8d\x81[\x83h\x82\xcc\x83v\x83\x8d\x83p\x83"
     "e\x83"
     "B"},
    {12,
     "\x83\x81\x83\x82\x83\x8a\x82\xaa\x95s\x91\xab\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81"
     "B"},
    {13,
     "\x8ew\x92\xe8\x82\xb3\x82\xea\x82\xbdURL\x82\xcd\x95s\x90\xb3\x82\xc5\x82\xb7\x81"
     "B"},
    {14,
     "\x95W\x8f\x80\x82\xcc\x83_\x83"
     "E\x83\x93\x83\x8d\x81[\x83h\x83v\x83\x8d\x83p\x83"
     "e\x83"
     "B"},
    {15,
     "\x83_\x83"
     "E\x83\x93\x83\x8d\x81[\x83h\x82\xb5\x82\xbd\x83t\x83@\x83"
     "C\x83\x8b\x82\xf0"
     "\x95\xdb\x91\xb6\x82\xb7\x82\xe9\x83t\x83H\x83\x8b\x83_\x82\xf0\x8ew\x92\xe8\x82\xb5\x82\xc4"
     "\x82\xad\x82\xbe\x82\xb3\x82\xa2"},
    {16, "\x83v\x83\x8d\x83O\x83\x89\x83\x80\x83I\x83v\x83V\x83\x87\x83\x93"},
    {17,
     "\x83t\x83@\x83"
     "C\x83\x8b\x96\xbc"},
    {18,
     "\x83T\x83"
     "C\x83Y"},
    {19,
     "\x83_\x83"
     "E\x83\x93\x8d\xcf\x82\xdd"},
    {20, "\x8co\x89\xdf"},
    {21, "\x89\xf1\x90\x94"},
    {22,
     "\x83"
     "A\x83h\x83\x8c\x83X"},
    {23, "Winsock2\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94s"},
    {24,
     "\x83"
     "A\x83v\x83\x8a\x83P\x81[\x83V\x83\x87\x83\x93\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9"
     "\x8e\xb8\x94s"},
    {25,
     "\x8e\x9f\x82\xcc\x83\x8a\x83X\x83g\x83t\x83@\x83"
     "C\x83\x8b\x82\xf0\x95\xdb\x91\xb6\x82\xc5\x82"
     "\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
     "B\n%s"},
    {26,
     "\x8e\x9f\x82\xcc\x83\x8a\x83X\x83g\x83t\x83@\x83"
     "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82"
     "\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
     "B\n%s"},
    {27,
     "\x8fI\x97\xb9\x8e\x9e\x82\xcc\x95\xdb\x91\xb6\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5"
     "\x82\xbd\x81"
     "B\x8e\x9f\x82\xcc\x83t\x83@\x83"
     "C\x83\x8b\x82\xcd\x8dX\x90V\x82\xb3\x82\xea\x82"
     "\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81"
     "B\n%s"},
    {28, "ReGet compatible Files (*.wrg)|*.WRG|All Files (*.*)|*.*|"},
    {29,
     "URL\x83\x8a\x83X\x83g\x83t\x83@\x83"
     "C\x83\x8b (*.lst)|*.LST|\x83"
     "e\x83L\x83X\x83g\x83t"
     "\x83@\x83"
     "C\x83\x8b (*.txt)|*.TXT|All Files (*.*)|*.*|"},
    {30,
     "\x8e\x9f\x82\xcc\x90\xdd\x92\xe8\x83t\x83@\x83"
     "C\x83\x8b\x82\xf0\x95\xdb\x91\xb6"
     "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
     "B\n%s"},
    {31,
     "\x8e\x9f\x82\xcc\x83t\x83@\x83"
     "C\x83\x8b\x82\xcd\x83\x8a\x83X\x83g\x83t\x83@\x83"
     "C\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
     "B\n%s"},
};

TEST(ResourceTexts, StringTableHoldsEveryTextUnderItsId)
{
    for (const StringText& expected : kStrings) {
        char text[256] = "";
        int length = LoadStringA(GetModuleHandleA(nullptr), expected.id, text, sizeof(text));
        EXPECT_EQ(static_cast<int>(strlen(expected.text)), length) << expected.id;
        EXPECT_STREQ(expected.text, text) << expected.id;
    }
}

// One menu entry: command 0 is a separator.
struct MenuEntry {
    UINT command;
    const char* label;
};

struct MenuColumn {
    const char* title;
    MenuEntry entries[8];
    int count;
};

const MenuColumn kMenu[] = {
    {"\x83t\x83@\x83"
     "C\x83\x8b(&F)",
     {{40009, "\x90V\x8bK(&N)\tCtrl+N"},
      {40010, "\x8aJ\x82\xad(&O)...\tCtrl+O"},
      {40030,
       "\x83\x8a\x83X\x83g\x82\xcc\x83"
       "C\x83\x93\x83|\x81[\x83g\tCtrl+L"},
      {40011, "\x95\xdb\x91\xb6(&S)\tCtrl+S"},
      {40012, "\x96\xbc\x91O\x82\xf0\x95t\x82\xaf\x82\xc4\x95\xdb\x91\xb6(&A)..."},
      {0, ""},
      {40013, "\x8fI\x97\xb9(&E)\tAlt+F4"}},
     7},
    {"\x95\xd2\x8fW(&E)", {{40016, "\x82\xb7\x82\xd7\x82\xc4\x91I\x91\xf0\tCtrl+A"}}, 1},
    {"\x83_\x83"
     "E\x83\x93\x83\x8d\x81[\x83h(&D)",
     {{40018, "\x90V\x8bK(&N)...\tAlt+N"},
      {40019, "\x8aJ\x8en(&S)\tAlt+S"},
      {40020, "\x88\xea\x8e\x9e\x92\xe2\x8e~(&S)\tAlt+P"},
      {40021, "\x8d\xed\x8f\x9c(&D)\tAlt+Del"},
      {0, ""},
      {40022,
       "\x83v\x83\x8d\x83p\x83"
       "e\x83"
       "B(P)...\tAlt+Enter"}},
     6},
    {"\x83I\x83v\x83V\x83\x87\x83\x93(&O)",
     {{40023,
       "\x95W\x8f\x80\x82\xcc\x83_\x83"
       "E\x83\x93\x83\x8d\x81[\x83h\x83v\x83\x8d\x83p\x83"
       "e\x83"
       "B(&W)..."},
      {40024, "\x83v\x83\x8d\x83O\x83\x89\x83\x80\x83I\x83v\x83V\x83\x87\x83\x93(&I)..."}},
     2},
    {"\x83w\x83\x8b\x83v(&H)",
     {{40025,
       "\x82\xb1\x82\xcc\x83v\x83\x8d\x83O\x83\x89\x83\x80\x82\xc9\x82\xc2\x82\xa2\x82\xc4"
       "(&A)..."},
      {40029,
       "\x8d\xc5\x90V\x94\xc5\x82\xf0\x83_\x83"
       "E\x83\x93\x83\x8d\x81[\x83h(&U)"}},
     2},
};

std::string MenuLabel(HMENU menu, UINT position)
{
    char text[256] = "";
    GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
    return text;
}

TEST(ResourceTexts, MainMenuHasEveryItemInOrderWithItsLabel)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(nullptr, menu);
    const int columns = static_cast<int>(sizeof(kMenu) / sizeof(kMenu[0]));
    ASSERT_EQ(columns, GetMenuItemCount(menu));
    for (int c = 0; c < columns; ++c) {
        const MenuColumn& column = kMenu[c];
        EXPECT_EQ(column.title, MenuLabel(menu, c)) << c;
        HMENU popup = GetSubMenu(menu, c);
        ASSERT_NE(nullptr, popup) << c;
        ASSERT_EQ(column.count, GetMenuItemCount(popup)) << c;
        for (int i = 0; i < column.count; ++i) {
            const MenuEntry& entry = column.entries[i];
            UINT state = GetMenuState(popup, i, MF_BYPOSITION);
            if (entry.command == 0) {
                EXPECT_TRUE(state & MF_SEPARATOR) << c << "/" << i;
                continue;
            }
            EXPECT_EQ(entry.command, GetMenuItemID(popup, i)) << c << "/" << i;
            EXPECT_EQ(0u, state & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)) << c << "/" << i;
            EXPECT_EQ(entry.label, MenuLabel(popup, i)) << c << "/" << i;
        }
    }
    DestroyMenu(menu);
}

}  // namespace
