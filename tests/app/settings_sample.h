// A settings record with every field set, shared by the tests of the stored
// form and of the settings file.
#pragma once

#include <string.h>

#include "marrowby/app/settings_format.h"

inline ProgramSettings FilledSettings()
{
    ProgramSettings s;
    memset(&s, 0xA5, sizeof(s));  // garbage after every NUL must survive
    s.reserved = 0x01020304;
    s.maxSimultaneous = -7;
    s.autoStart = 5;
    s.removeOnSuccess = 1;
    s.idleTimeoutMs = 0xFEDCBA98u;
    s.reserved2 = 77;
    s.useProxy = 1;
    strcpy(s.proxyAddress, "proxy.example:3128");
    strcpy(s.defaultUser, "\x83\x5C\x83\x74\x83\x67");  // Shift-JIS with a 0x5C trail byte
    strcpy(s.defaultPassword, "pa=ss");
    strcpy(s.defaultFolder, "D:\\\x95\x5C\\dl");
    strcpy(s.listPath, "E:\\lists\\mine.wrg");
    return s;
}
