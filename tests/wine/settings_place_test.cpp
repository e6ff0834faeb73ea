// Where the settings are kept: beside the library where its folder can be written, else in the
// player's own settings folder, which the player's main window names when asked.
//
// The unwritable library folder is made so for real by with_unwritable_folder.sh (Wine run as
// root writes read-only files), which names it in CRACKLETON_UNWRITABLE_FOLDER, holding the DLL
// and a plugin.ini of amount 100, speed 256; where the machine cannot make one, those cases are
// skipped with the reason in CRACKLETON_NO_UNWRITABLE_FOLDER.

#include <gtest/gtest.h>

#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "noise/noise_table.h"
#include "plugin/names.h"
#include "plugin/settings_place.h"
#include "plugin_host.h"
#include "settings_window/dialog_ids.h"
#include "settings_window/slider_arithmetic.h"
#include "tools/player_host/host_files.h"

namespace {

// How the host's main window answers the player's question for its settings folder.
enum class Answer { playerFolder, noWindow, zero, badPointer, missingFolder, hung };

// The answer the player window gives: a pointer to text in this process, as the player's is.
char answerText[MAX_PATH];
LRESULT answerValue = 0;

LRESULT CALLBACK playerWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER && wParam == 0 && lParam == playerSettingsFolderQuery) {
    return answerValue;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The player's main window, of the player's own class, on the calling thread.
HWND createAnsweringPlayerWindow() {
  return createPlayerWindow("Winamp v1.x", playerWindowProcedure);
}

// A player window whose thread stops serving its messages for longer than the module waits.
DWORD WINAPI hungPlayer(void* window) {
  *static_cast<HWND*>(window) = createAnsweringPlayerWindow();
  Sleep(playerQueryTimeoutMilliseconds + 1500);
  pumpMessages();
  DestroyWindow(*static_cast<HWND*>(window));
  return 0;
}

std::string iniText(int amount, int speed) {
  return "[Tallowick's Crackleton v1.0]\r\nvinyl_speed=" + std::to_string(speed) +
         "\r\nvinyl_amount=" + std::to_string(amount) + "\r\n";
}

// Every file in `folder` with its bytes: what "unchanged" means for a folder.
std::string folderContents(const std::string& folder) {
  std::string contents;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return contents;
  }
  do {
    if (found.cFileName[0] != '.') {
      contents += std::string(found.cFileName) + ":" +
                  std::to_string(readTextFile(folder + "\\" + found.cFileName).size()) + "\n";
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return contents + readTextFile(folder + "\\plugin.ini");
}

class SettingsPlace : public ::testing::Test {
 protected:
  // Loads the library at `dllPath` under a player window that answers as `answer` says, and
  // times `initialise`.
  void start(const std::string& dllPath, Answer answer) {
    lstrcpyA(answerText, answer == Answer::missingFolder ? "C:\\no\\such\\folder"
                                                         : playerFolder.path().c_str());
    answerValue = answer == Answer::zero         ? 0
                  : answer == Answer::badPointer ? 16
                                                 : reinterpret_cast<LRESULT>(answerText);
    HWND owner = nullptr;
    if (answer == Answer::hung) {
      hungThread = CreateThread(nullptr, 0, hungPlayer, &hungWindow, 0, nullptr);
      while (hungWindow == nullptr) {
        Sleep(1);
      }
      owner = hungWindow;
    } else if (answer != Answer::noWindow) {
      owner = playerWindow;
    }
    std::string error;
    ASSERT_TRUE(loadPlugin(widenedText(dllPath), 0, owner, plugin, error)) << error;
    const DWORD before = GetTickCount();
    ASSERT_EQ(plugin.module->initialise(plugin.module), 0);
    initialiseMilliseconds = GetTickCount() - before;
  }

  // As the user does: opens the window and moves the amount slider.
  void setAmount(int amount) {
    plugin.module->configure(plugin.module);
    HWND window = FindWindowA(nullptr, "Crackleton v1.0");
    ASSERT_NE(window, nullptr);
    HWND slider = GetDlgItem(window, AMOUNT_SLIDER_ID);
    SendMessageA(slider, TBM_SETPOS, TRUE, sliderLargest - amount);
    SendMessageA(window, WM_VSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
    SendDlgItemMessageA(window, OK_BUTTON_ID, BM_CLICK, 0, 0);
  }

  // Ends the module and frees the library, as the player does at its end.
  void stop() {
    plugin.module->quit(plugin.module);
    freePlugin(plugin);
    if (hungThread != nullptr) {
      WaitForSingleObject(hungThread, INFINITE);
      CloseHandle(hungThread);
      hungThread = nullptr;
      hungWindow = nullptr;
    }
  }

  void expectHeard(int amount) {
    std::int16_t block[64] = {};
    plugin.module->process(plugin.module, block, 64, 16, 1, 44100);
    for (int iValue = 0; iValue < 64; ++iValue) {
      ASSERT_EQ(block[iValue], std::clamp(noiseTable[iValue] * amount / 256, -32768, 32767))
          << "value " << iValue;
    }
  }

  std::string playersFile() const { return playerFolder.file("Plugins\\plugin.ini"); }

  void TearDown() override {
    if (plugin.library != nullptr) {
      stop();
    }
    DestroyWindow(playerWindow);
  }

  HWND playerWindow = createAnsweringPlayerWindow();
  HANDLE hungThread = nullptr;
  HWND hungWindow = nullptr;
  TempFolder playerFolder;
  PlayerPlugin plugin;
  DWORD initialiseMilliseconds = 0;
};

const char* unwritableFolder() {
  const char* folder = std::getenv("CRACKLETON_UNWRITABLE_FOLDER");
  return folder != nullptr && *folder != '\0' ? folder : nullptr;
}

std::string whyNoUnwritableFolder() {
  const char* reason = std::getenv("CRACKLETON_NO_UNWRITABLE_FOLDER");
  return std::string("no unwritable folder: ") +
         (reason != nullptr ? reason : "not run by with_unwritable_folder.sh");
}

TEST_F(SettingsPlace, UnwritableLibraryFolderKeepsThemInThePlayersFolder) {
  if (unwritableFolder() == nullptr) {
    GTEST_SKIP() << whyNoUnwritableFolder();
  }
  const std::string library = unwritableFolder();
  const std::string before = folderContents(library);

  start(library + "\\" + libraryFileName, Answer::playerFolder);
  expectHeard(100);  // carried over from beside the library
  setAmount(400);
  stop();
  EXPECT_EQ(readTextFile(playersFile()), iniText(400, 256));

  start(library + "\\" + libraryFileName, Answer::playerFolder);
  expectHeard(400);
  stop();
  EXPECT_EQ(folderContents(library), before) << "the library's folder is never written";
}

// Where the player cannot say (an older player or another host, a window that answers nonsense or
// hangs), the file beside the library, read as ever and unwritable as ever, and never a wait
// longer than the timeout.
TEST_F(SettingsPlace, UnwritableLibraryFolderAndNoAnswerFallsBackBesideTheLibrary) {
  if (unwritableFolder() == nullptr) {
    GTEST_SKIP() << whyNoUnwritableFolder();
  }
  const std::string library = unwritableFolder();
  const std::string before = folderContents(library);
  for (Answer answer :
       {Answer::noWindow, Answer::zero, Answer::badPointer, Answer::missingFolder, Answer::hung}) {
    SCOPED_TRACE("answer " + std::to_string(static_cast<int>(answer)));
    start(library + "\\" + libraryFileName, answer);
    EXPECT_LT(initialiseMilliseconds, playerQueryTimeoutMilliseconds + 1500);
    expectHeard(100);
    stop();
    EXPECT_FALSE(fileExists(playerFolder.file("Plugins")));
    EXPECT_EQ(folderContents(library), before);
  }
}

TEST_F(SettingsPlace, WritableLibraryFolderKeepsThemBesideIt) {
  TempFolder library;
  writeTextFile(library.file("plugin.ini"), iniText(100, 256));
  ASSERT_TRUE(CopyFileA(builtDllPath().c_str(), library.file(libraryFileName).c_str(), FALSE));
  start(library.file(libraryFileName), Answer::playerFolder);
  expectHeard(100);
  setAmount(400);
  stop();
  EXPECT_EQ(readTextFile(library.file("plugin.ini")), iniText(400, 256));
  EXPECT_FALSE(fileExists(playerFolder.file("Plugins"))) << "the player's file is never touched";
  EXPECT_EQ(
      folderContents(library.path()),
      std::string(libraryFileName) + ":" + std::to_string(readTextFile(builtDllPath()).size()) +
          "\nplugin.ini:" + std::to_string(iniText(400, 256).size()) + "\n" + iniText(400, 256))
      << "the probe leaves no file behind";
}

}  // namespace
