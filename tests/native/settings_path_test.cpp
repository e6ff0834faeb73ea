// Where plugin.ini is looked for: beside the library, given its own file name, or in the player's
// settings folder.

#include <gtest/gtest.h>

#include <string>

#include "plugin/path_beside_library.h"

namespace {

constexpr std::size_t pathLimit = 260;

// The names here are ASCII but for one test; each character widens as it is.
std::wstring wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

std::wstring widePathBeside(const std::wstring& libraryFileName, bool expectFits = true) {
  wchar_t path[pathLimit + 1];
  path[pathLimit] = L'#';  // a guard just past the buffer the function is given
  EXPECT_EQ(settingsPathBeside(libraryFileName.c_str(), path, pathLimit), expectFits);
  EXPECT_EQ(path[pathLimit], L'#') << "wrote past the end";
  return path;
}

std::string pathBeside(const std::string& libraryFileName, bool expectFits = true) {
  return narrow(widePathBeside(wide(libraryFileName), expectFits));
}

TEST(SettingsPath, SitsBesideTheLibrary) {
  EXPECT_EQ(pathBeside("D:\\Player\\Plugins\\effect.dll"), "D:\\Player\\Plugins\\plugin.ini");
  EXPECT_EQ(pathBeside("C:\\dsp_crackleton.dll"), "C:\\plugin.ini");
  EXPECT_EQ(pathBeside("\\\\server\\share\\a\\b.dll"), "\\\\server\\share\\a\\plugin.ini");
  EXPECT_EQ(pathBeside("C:\\dir\\"), "C:\\dir\\plugin.ini");
  // A folder no 8-bit code page spells.
  EXPECT_EQ(widePathBeside(L"C:\\\u041f\u043b\u0430\u0433\u0438\u043d\\\u97f3.dll"),
            L"C:\\\u041f\u043b\u0430\u0433\u0438\u043d\\plugin.ini");
}

TEST(SettingsPath, NameWithoutBackslashGivesTheBareFileName) {
  EXPECT_EQ(pathBeside("effect.dll"), "plugin.ini");
  EXPECT_EQ(pathBeside(""), "plugin.ini");
  EXPECT_EQ(pathBeside("C:/forward/slashes.dll"), "plugin.ini");
}

TEST(SettingsPath, AtThePathLimit) {
  // A directory of 249 characters plus "plugin.ini" is 259: fits with its terminator.
  const std::string fitting = "C:\\" + std::string(245, 'a') + "\\";
  ASSERT_EQ(fitting.size(), 249u);
  EXPECT_EQ(pathBeside(fitting + "x.dll"), fitting + "plugin.ini");

  // One more character would need 261: the result is empty, never cut short.
  const std::string tooLong = "C:\\" + std::string(246, 'a') + "\\";
  EXPECT_EQ(pathBeside(tooLong + "x.dll", false), "");
  EXPECT_EQ(pathBeside(std::string(400, 'a') + "\\x.dll", false), "");
}

TEST(SettingsPath, NeverWritesPastASmallBuffer) {
  wchar_t tiny[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_FALSE(settingsPathBeside(L"C:\\x.dll", tiny, 3));
  EXPECT_EQ(tiny[0], L'\0');
  EXPECT_EQ(tiny[3], L'#');
  EXPECT_FALSE(settingsPathBeside(L"C:\\x.dll", tiny, 0));
  EXPECT_EQ(tiny[0], L'\0');
}

// Where the library's folder cannot be written, the player names its settings folder.
TEST(SettingsPath, InThePlayersSettingsFolder) {
  const std::string fitting(260 - sizeof "\\Plugins\\plugin.ini", 'a');
  const struct {
    std::string folder;
    std::string pluginsFolder;  // empty: does not fit
  } cases[] = {
      {"C:\\Users\\me\\AppData\\Roaming\\Winamp",
       "C:\\Users\\me\\AppData\\Roaming\\Winamp\\Plugins"},
      {"C:\\Winamp\\\\", "C:\\Winamp\\Plugins"},
      {"C:\\", "C:\\Plugins"},
      {fitting, fitting + "\\Plugins"},
      {fitting + "a", ""},
  };
  for (const auto& [folder, pluginsFolder] : cases) {
    SCOPED_TRACE(folder);
    wchar_t plugins[pathLimit + 1];
    wchar_t path[pathLimit + 1];
    plugins[pathLimit] = path[pathLimit] = L'#';
    EXPECT_EQ(playerSettingsPaths(wide(folder).c_str(), plugins, path, pathLimit),
              !pluginsFolder.empty());
    EXPECT_EQ(narrow(plugins), pluginsFolder);
    EXPECT_EQ(narrow(path), pluginsFolder.empty() ? "" : pluginsFolder + "\\plugin.ini");
    EXPECT_EQ(plugins[pathLimit], L'#');
    EXPECT_EQ(path[pathLimit], L'#');
  }
}

}  // namespace
