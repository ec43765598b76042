// The process-wide settings record and the settings file "vorn.cfg" in the
// program folder. Everything here runs on the GUI thread.
#pragma once

#include "marrowby/app/settings_format.h"

constexpr size_t kProgramFolderSize = 264;

// The one settings record; all zeros until LoadSettings runs.
extern ProgramSettings g_settings;

// The options stored after it; all zeros until LoadSettings runs.
extern ExtraSettings g_extraSettings;

// Writes the folder of the running program file, ending in a backslash, into
// out (at least kProgramFolderSize bytes).
void ProgramFolder(char* out);

// Fills g_settings from the settings file, or with the defaults when the file
// is missing, short, unreadable or has the wrong magic; g_extraSettings from
// the block after it, or with its defaults.
void LoadSettings();

// True once LoadSettings has filled g_settings.
bool SettingsLoaded();

// Writes g_settings and g_extraSettings to the settings file through a temporary file that
// replaces the old one only when it was written completely. Returns 0 when
// written, 1 when the file cannot be created, 2 when the write fails, 3 when
// it was short, 4 when LoadSettings has not run (the file is left alone, so a
// failed start-up never stores an empty record).
int SaveSettings();

// Settings file path: the settings folder followed by "vorn.cfg".
void SettingsFilePath(char* out, size_t capacity);

// Folder that holds the settings file, ending in a backslash; the program
// folder unless SetSettingsFolder chose another (test hosts use that to keep
// their files apart). An empty or null folder returns to the program folder.
void SetSettingsFolder(const char* folder);
