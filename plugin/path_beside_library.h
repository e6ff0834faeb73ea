#pragma once

#include <cstddef>

// Builds the settings file's name from the library's own file name: the directory part, backslash
// included, followed by "plugin.ini"; a name without a backslash gives the bare "plugin.ini".
// Wide characters, so that a folder the ANSI code page cannot spell is still reached.
// Writes at most `capacity` characters, terminator included. When the result would not fit it
// writes the empty text and returns false: a cut-off name would point at some other file.
bool settingsPathBeside(const wchar_t* libraryFileName, wchar_t* path, std::size_t capacity);

// The Plugins folder in the player's settings folder `playerFolder`, and plugin.ini in that: each
// at most `capacity` characters, terminator included, or both empty with false when the longer
// would not fit.
bool playerSettingsPaths(const wchar_t* playerFolder, wchar_t* pluginsFolder, wchar_t* path,
                         std::size_t capacity);
