// The plug-in shell as the player meets it: the export, the two records, the entry routine and
// plugin.ini, through a real copy of the DLL and Wine's own profile functions.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "crackleton_version.h"
#include "plugin/names.h"
#include "plugin_host.h"

namespace {

constexpr const char* description = "Tallowick's Crackleton v1.0";

class PluginShell : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.load(folder.file(libraryFileName))); }

  std::string ini() const { return folder.file("plugin.ini"); }

  // initialise, then quit, and what quit left in plugin.ini for one key.
  std::string storedAfterRoundTrip(const char* key) {
    EXPECT_EQ(plugin.module->initialise(plugin.module), 0);
    plugin.module->quit(plugin.module);
    char value[64];
    GetPrivateProfileStringA(description, key, "(missing)", value, sizeof value, ini().c_str());
    return value;
  }

  TempFolder folder;
  LoadedPlugin plugin;
};

TEST_F(PluginShell, HeaderAndModuleRecords) {
  GetHeader getHeader = exportedGetHeader(plugin.library);
  EXPECT_EQ(getHeader(), plugin.header) << "the same header on every call";
  EXPECT_EQ(exportedGetHeader(plugin.library, MAKEINTRESOURCEA(1)), getHeader)
      << "exported at ordinal 1";

  const PluginHeader& header = *plugin.header;
  EXPECT_EQ(header.version, 0x20);
  EXPECT_STREQ(header.description, description);

  EffectModule* module = header.moduleAt(0);
  EXPECT_EQ(header.moduleAt(0), module);
  EXPECT_EQ(header.moduleAt(1), nullptr);
  EXPECT_EQ(header.moduleAt(-1), nullptr);
  EXPECT_EQ(header.moduleAt(INT_MIN), nullptr);
  EXPECT_EQ(header.moduleAt(INT_MAX), nullptr);

  EXPECT_EQ(module->description, header.description) << "one text object for both records";
  EXPECT_NE(module->configure, nullptr);
  EXPECT_NE(module->initialise, nullptr);
  EXPECT_NE(module->process, nullptr);
  EXPECT_NE(module->quit, nullptr);
  EXPECT_EQ(module->context, nullptr);

  // The whole life of the module leaves `context` alone.
  module->initialise(module);
  std::int16_t block[8] = {};
  module->process(module, block, 4, 16, 2, 44100);
  module->quit(module);
  EXPECT_EQ(module->context, nullptr);
  EXPECT_EQ(module->parentWindow, nullptr) << "the library never writes the host's fields";
  EXPECT_EQ(module->instance, plugin.library);
}

DWORD WINAPI doNothing(LPVOID) {
  return 0;
}

// The entry routine, found where the loader finds it: the PE header's entry point.
TEST_F(PluginShell, EntryRoutineSucceedsForEveryReason) {
  auto base = reinterpret_cast<const BYTE*>(plugin.library);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  using Entry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
  auto entry = reinterpret_cast<Entry>(base + nt->OptionalHeader.AddressOfEntryPoint);

  EXPECT_EQ(entry(plugin.library, DLL_THREAD_ATTACH, nullptr), TRUE);
  EXPECT_EQ(entry(plugin.library, DLL_THREAD_DETACH, nullptr), TRUE);
  EXPECT_EQ(entry(nullptr, DLL_THREAD_ATTACH, reinterpret_cast<LPVOID>(1)), TRUE);

  // A real thread brings real attach and detach calls; the library must stay usable after them.
  HANDLE thread = CreateThread(nullptr, 0, doNothing, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(plugin.module->initialise(plugin.module), 0);

  // Load and unload: a second library in the same process loads (its entry routine said TRUE)
  // and unloads again.
  TempFolder other;
  LoadedPlugin second;
  ASSERT_TRUE(second.load(other.file(libraryFileName)));
  EXPECT_NE(second.library, plugin.library);
  EXPECT_TRUE(FreeLibrary(second.library));
  second.library = nullptr;
}

TEST_F(PluginShell, FirstRunWritesBothDefaults) {
  ASSERT_FALSE(fileExists(ini()));
  EXPECT_EQ(plugin.module->initialise(plugin.module), 0);
  plugin.module->quit(plugin.module);

  const std::string text = readTextFile(ini());
  const std::string section = "[Tallowick's Crackleton v1.0]";
  const auto sectionAt = text.find(section);
  ASSERT_NE(sectionAt, std::string::npos) << text;
  const auto speedAt = text.find("vinyl_speed=256", sectionAt);
  const auto amountAt = text.find("vinyl_amount=256", sectionAt);
  EXPECT_NE(speedAt, std::string::npos) << text;
  EXPECT_NE(amountAt, std::string::npos) << text;
  EXPECT_LT(speedAt, amountAt) << "speed is written first";
}

TEST_F(PluginShell, MissingKeyTakesItsDefaultAndOthersSurvive) {
  writeTextFile(ini(),
                "[Other plug-in]\r\nvinyl_speed=7\r\nkeep=yes\r\n"
                "[Tallowick's Crackleton v1.0]\r\nvinyl_amount=100\r\nunrelated=still here\r\n"
                "[Last]\r\nx=1\r\n");
  EXPECT_EQ(storedAfterRoundTrip("vinyl_amount"), "100");
  EXPECT_EQ(storedAfterRoundTrip("vinyl_speed"), "256");

  const std::string text = readTextFile(ini());
  for (const char* survivor :
       {"[Other plug-in]", "vinyl_speed=7", "keep=yes", "unrelated=still here", "[Last]", "x=1"}) {
    EXPECT_NE(text.find(survivor), std::string::npos) << survivor << " lost:\n" << text;
  }
}

TEST_F(PluginShell, ValuesThatAreNotPlainNumbersDoNoHarm) {
  for (const char* value : {"abc", "12abc", "-5", "99999999999", "-2147483648", "", " 70", "0x200",
                            "1e9", "4294967295", "512"}) {
    writeTextFile(ini(), std::string("[Tallowick's Crackleton v1.0]\r\nvinyl_speed=") + value +
                             "\r\nvinyl_amount=" + value + "\r\n");
    EXPECT_EQ(plugin.module->initialise(plugin.module), 0) << value;
    std::int16_t block[2 * 70000];
    for (auto& sample : block) {
      sample = 32767;
    }
    EXPECT_EQ(plugin.module->process(plugin.module, block, 70000, 16, 2, 44100), 70000) << value;
    plugin.module->quit(plugin.module);

    // Whatever the profile reader made of the text is kept and written back as a plain number.
    char stored[64];
    GetPrivateProfileStringA(description, "vinyl_speed", "", stored, sizeof stored, ini().c_str());
    EXPECT_EQ(std::to_string(std::atoi(stored)), stored) << value;
  }
}

TEST_F(PluginShell, ReadOnlySettingsFileIsLeftAsItIs) {
  // "0300" reads as 300 and would be written back as "300": quit does try to write.
  const std::string original =
      "[Tallowick's Crackleton v1.0]\r\nvinyl_speed=0300\r\nvinyl_amount=20\r\n[Other]\r\nk=v\r\n";
  writeTextFile(ini(), original);
  ASSERT_TRUE(SetFileAttributesA(ini().c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE writer = CreateFileA(ini().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (writer != INVALID_HANDLE_VALUE) {
    CloseHandle(writer);
    GTEST_SKIP() << "this system writes read-only files all the same (Wine run as root)";
  }

  EXPECT_EQ(plugin.module->initialise(plugin.module), 0);
  std::int16_t block[4] = {};
  plugin.module->process(plugin.module, block, 4, 16, 1, 44100);
  plugin.module->quit(plugin.module);
  EXPECT_EQ(readTextFile(ini()), original);

  // The settings read from it still hold: at speed 300 the values read entries 0, 1, 2 and 3,
  // at amount 20.
  EXPECT_EQ(block[2], -71 * 20 / 256);
  EXPECT_EQ(block[3], -140 * 20 / 256);
}

// What Explorer shows on the DLL's Details tab, read back the way it reads it.
TEST(VersionResource, NamesTheProductAndItsVersion) {
  const std::string dll = builtDllPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  ASSERT_EQ(fixedSize, sizeof(VS_FIXEDFILEINFO));
  const DWORD versionHigh = MAKELONG(CRACKLETON_VERSION_MINOR, CRACKLETON_VERSION_MAJOR);
  const DWORD versionLow = MAKELONG(CRACKLETON_VERSION_TWEAK, CRACKLETON_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileVersionMS, versionHigh);
  EXPECT_EQ(fixed->dwFileVersionLS, versionLow);
  EXPECT_EQ(fixed->dwProductVersionMS, versionHigh);
  EXPECT_EQ(fixed->dwProductVersionLS, versionLow);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileDateMS | fixed->dwFileDateLS, 0u) << "no build date";

  struct Field {
    const char* name;
    std::string expected;
  };
  const Field fields[] = {
      {"FileVersion", CRACKLETON_VERSION_TEXT},
      {"ProductVersion", CRACKLETON_VERSION_TEXT},
      {"ProductName", "Crackleton"},
      {"FileDescription", "Record-surface noise effect for Winamp"},
      {"CompanyName", "Tallowick"},
      {"OriginalFilename", libraryFileName},
      {"InternalName", libraryFileName},
      {"LegalCopyright", "Copyright (c) 2026 Tallowick and the Crackleton contributors"},
  };
  for (const Field& field : fields) {
    // The language and code page the Translation entry names, as Explorer looks them up.
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + field.name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
      ADD_FAILURE() << field.name << " is missing";
      continue;
    }
    EXPECT_EQ(std::string(value), field.expected) << field.name;
  }
}

// A folder whose path, with "\\plugin.ini", comes to `length` characters.
std::string folderForSettingsPathOf(const std::string& base, std::size_t length) {
  const std::size_t target = length - std::strlen("\\plugin.ini");
  std::string path = base;
  while (path.size() < target) {
    // Parts of at most 60 characters, never leaving a single character to add.
    const std::size_t remaining = target - path.size();
    const std::size_t part = remaining <= 61 ? remaining - 1 : (remaining == 62 ? 59 : 60);
    path += "\\" + std::string(part, 'd');
    CreateDirectoryA(path.c_str(), nullptr);
  }
  return path;
}

TEST_F(PluginShell, LibraryDeepInALongPath) {
  // The DLL copy is named "d.dll" so that its own path stays under the limit while the settings
  // path beside it reaches or passes it.
  for (std::size_t settingsPathLength : {259u, 260u, 262u}) {
    TempFolder root;
    const std::string folderPath = folderForSettingsPathOf(root.path(), settingsPathLength);
    const std::string dll = folderPath + "\\d.dll";
    const std::string iniPath = folderPath + "\\plugin.ini";
    ASSERT_EQ(iniPath.size(), settingsPathLength);

    LoadedPlugin deep;
    if (!deep.load(dll)) {
      GTEST_SKIP() << "this system cannot load a library from " << dll.size() << " characters";
    }
    EXPECT_EQ(deep.module->initialise(deep.module), 0);
    deep.module->quit(deep.module);
    if (settingsPathLength < MAX_PATH) {
      EXPECT_TRUE(fileExists(iniPath)) << "a path of " << settingsPathLength << " fits";
    } else {
      // Too long to name whole: no settings file anywhere, not even a cut-off one.
      EXPECT_FALSE(fileExists(iniPath));
      EXPECT_FALSE(fileExists(iniPath.substr(0, MAX_PATH - 1)));
      char windows[MAX_PATH];
      GetWindowsDirectoryA(windows, MAX_PATH);
      EXPECT_FALSE(fileExists(std::string(windows) + "\\plugin.ini"));
    }
    deep.unload();
  }
}

}  // namespace
