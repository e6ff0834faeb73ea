// Where the settings are kept, and what becomes of the user's choice whatever order a host calls
// in: beside the library where its folder can be written, else in the player's own settings
// folder, which only the player's main window names when asked. And the file shared: another
// copy of the library (another player) using the same plugin.ini, the user's editor, and another
// program holding the file for a while.
//
// The unwritable library folder is made so for real by with_unwritable_folder.sh (Wine run as
// root writes read-only files), which names it in CRACKLETON_UNWRITABLE_FOLDER, holding the DLL
// and a plugin.ini of amount 300, speed 100; where the machine cannot make one, those rows are
// skipped with the reason in CRACKLETON_NO_UNWRITABLE_FOLDER.

#include <gtest/gtest.h>

#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "noise/noise_table.h"
#include "plugin/names.h"
#include "plugin/settings_place.h"
#include "plugin_host.h"
#include "settings_window/dialog_ids.h"
#include "settings_window/slider_arithmetic.h"
#include "tools/player_host/caller_threads.h"
#include "tools/player_host/host_files.h"

namespace {

struct Values {
  int amount;
  int speed;
};

constexpr Values besideTheLibrary{300, 100};  // as with_unwritable_folder.sh writes it
constexpr Values usersInPlayersFolder{400, 100};
constexpr int usersNewAmount = 200;
constexpr Values editedByHand{150, besideTheLibrary.speed};

std::string iniText(Values values) {
  return "[Tallowick's Crackleton v1.0]\r\nvinyl_speed=" + std::to_string(values.speed) +
         "\r\nvinyl_amount=" + std::to_string(values.amount) + "\r\n";
}

// ---- The player's windows ----------------------------------------------------------------------

// What every window of the player's class here answers when asked for the settings folder:
// pointers to text in this process, as the player's are, the wide one first.
wchar_t wideAnswerText[MAX_PATH];
char ansiAnswerText[MAX_PATH];
LRESULT wideAnswer = 0;
LRESULT ansiAnswer = 0;

void answerWithFolder(const std::wstring& folder) {
  lstrcpyW(wideAnswerText, folder.c_str());
  // As the player answers in 8-bit text: what the code page cannot spell becomes '?'.
  WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansiAnswerText, MAX_PATH, nullptr, nullptr);
  wideAnswer = reinterpret_cast<LRESULT>(wideAnswerText);
  ansiAnswer = reinterpret_cast<LRESULT>(ansiAnswerText);
}

// A window's GWLP_USERDATA holds how long it takes to answer.
LRESULT CALLBACK playerWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER && wParam == 0 &&
      (lParam == playerSettingsFolderQueryWide || lParam == playerSettingsFolderQuery)) {
    Sleep(static_cast<DWORD>(GetWindowLongPtrA(window, GWLP_USERDATA)));
    return lParam == playerSettingsFolderQueryWide ? wideAnswer : ansiAnswer;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND createAnsweringPlayerWindow(DWORD answerMilliseconds = 0) {
  HWND window = createPlayerWindow(playerWindowClass, playerWindowProcedure);
  SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(answerMilliseconds));
  return window;
}

// The player's main window on a thread of its own, which answers after `answerMilliseconds` or,
// when `hung`, first serves nothing for far longer than the module waits.
class PlayerOnItsOwnThread {
 public:
  PlayerOnItsOwnThread(DWORD answerMilliseconds, bool hung)
      : answerMilliseconds_(answerMilliseconds), hung_(hung) {
    thread_ = CreateThread(nullptr, 0, run, this, 0, &threadId_);
    while (window_ == nullptr) {
      Sleep(1);
    }
  }
  ~PlayerOnItsOwnThread() {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  HWND window() const { return window_; }

 private:
  static DWORD WINAPI run(void* context) {
    auto& player = *static_cast<PlayerOnItsOwnThread*>(context);
    HWND window = createAnsweringPlayerWindow(player.answerMilliseconds_);
    player.window_ = window;
    if (player.hung_) {
      Sleep(playerQueryTimeoutMilliseconds + 1500);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
  }

  const DWORD answerMilliseconds_;
  const bool hung_;
  std::atomic<HWND> window_{nullptr};
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
};

// A dialog with a default button, as some hosts hand the module: to a dialog, WM_USER is
// DM_GETDEFID, and its answer is no pointer at all.
HWND createDialogOwner() {
  struct alignas(4) EmptyTemplate {
    DLGTEMPLATE dialog;
    WORD menu, windowClass, title;
  };
  const EmptyTemplate empty = {{WS_POPUP, 0, 0, 0, 0, 100, 50}, 0, 0, 0};
  HWND dialog =
      CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &empty.dialog, nullptr, nullptr, 0);
  SendMessageA(dialog, DM_SETDEFID, IDOK, 0);
  return dialog;
}

// ---- Host call orders --------------------------------------------------------------------------

// The window the module is handed as its owner, and how it answers.
enum class Owner {
  player,          // on the main thread, naming its settings folder
  slowPlayer,      // on a thread of its own, answering after 300 ms
  hungPlayer,      // on a thread that serves nothing for longer than the module waits
  oldPlayer,       // answers 0: it has no settings folder of its own
  nonsensePlayer,  // answers pointers to no memory
  missingFolder,   // names a folder that is not there
  dialog,
  none,
};

enum class PlayersFolder {
  empty,
  usersFile,            // Plugins\plugin.ini holds the user's `usersInPlayersFolder`
  amountOnly,           // holds only the amount of it, as an earlier release could leave it
  emptyAndUnspellable,  // named in letters the ANSI code page has not
};

enum class Step {
  configure,  // on the main thread, which the player's window is on
  initialise,
  quit,
  initialiseOnWorker,          // on a thread of the host's, while the main thread waits for it
  configureOnWorker,           // likewise, and the thread then serves the window
  configureWhileInitialising,  // on its own thread, its question left waiting while the main
                               // thread runs `initialise` and then waits for it
  setAmount,                   // to `usersNewAmount`, in a settings window, by a drag that ends
  freeLibrary,                 // the host frees it, the window left open
  loadForThePlayer,            // the player loads the library itself, under its own main window
  pressOk,                     // in every settings window
  holdFile,  // another program holds plugin.ini beside the library, sharing nothing
  releaseFile,
  editByHand,  // the user's editor writes `editedByHand` into plugin.ini beside the library
  // A second copy of the library beside the first, as another player sharing its Plugins folder
  // runs it: started, its amount set to `usersNewAmount` in its own window (then OK), stopped.
  secondCopyStarts,
  secondCopySetsAmount,
  secondCopyQuits,
};

struct HostCallOrder {
  const char* name;
  Owner owner;
  bool libraryFolderWritable;
  PlayersFolder playersFolder;
  std::vector<Step> steps;
  // What the mixer plays and every open window shows afterwards, and what the next normal start
  // of the player plays and shows.
  Values heard;
  // What the player's plugin.ini holds afterwards; none: no Plugins folder is made there.
  std::optional<Values> playersFile;
  // What the library's plugin.ini holds afterwards where its folder is writable.
  std::optional<Values> besideFile = std::nullopt;
};

void PrintTo(const HostCallOrder& order, std::ostream* out) {
  *out << order.name;
}

using S = Step;
using P = PlayersFolder;
const Values usersChoice{usersNewAmount, usersInPlayersFolder.speed};
const Values usersChoiceBeside{usersNewAmount, besideTheLibrary.speed};
const HostCallOrder hostCallOrders[] = {
    {"FirstMoveIntoThePlayersFolderCarriesTheOtherSettingOver",
     Owner::player,
     false,
     P::empty,
     {S::configure, S::setAmount, S::initialise},
     usersChoice,
     usersChoice},
    {"InitialiseOnAThreadThePlayersWindowWaitsFor",
     Owner::player,
     false,
     P::usersFile,
     {S::initialiseOnWorker, S::configure, S::setAmount, S::quit},
     usersChoice,
     usersChoice},
    {"ConfigureOnAThreadThePlayersWindowWaitsFor",
     Owner::player,
     false,
     P::usersFile,
     {S::configureOnWorker, S::setAmount, S::initialise},
     usersChoice,
     usersChoice},
    {"ConfigureOnItsOwnThreadWhileInitialiseReads",
     Owner::player,
     false,
     P::usersFile,
     {S::configureWhileInitialising, S::quit},
     usersInPlayersFolder,
     usersInPlayersFolder},
    {"DialogOwnerThenThePlayersOwnLoad",
     Owner::dialog,
     false,
     P::usersFile,
     {S::configure, S::setAmount, S::freeLibrary, S::loadForThePlayer, S::initialise},
     usersChoice,
     usersChoice},
    {"TwoWindowsShowWhatPlays",
     Owner::player,
     false,
     P::usersFile,
     {S::initialise, S::configure, S::initialise, S::configure, S::setAmount},
     usersChoice,
     usersChoice},
    {"SettingsFolderTheCodePageCannotSpell",
     Owner::player,
     false,
     P::emptyAndUnspellable,
     {S::configure, S::setAmount, S::initialise},
     usersChoice,
     usersChoice},
    {"ASettingThePlayersFileLacksIsReadBesideTheLibrary",
     Owner::player,
     false,
     P::amountOnly,
     {S::initialise, S::quit},
     {usersInPlayersFolder.amount, besideTheLibrary.speed},
     Values{usersInPlayersFolder.amount, besideTheLibrary.speed}},
    {"SlowPlayerAnswersInTime",
     Owner::slowPlayer,
     false,
     P::usersFile,
     {S::initialise},
     usersInPlayersFolder,
     usersInPlayersFolder},
    // Where the player cannot say, the file beside the library, read as ever and unwritable as
    // ever; the next start with a player that can say carries it over.
    {"HungPlayer", Owner::hungPlayer, false, P::empty, {S::initialise}, besideTheLibrary, {}},
    {"OldPlayer", Owner::oldPlayer, false, P::empty, {S::initialise}, besideTheLibrary, {}},
    {"NonsenseAnswer",
     Owner::nonsensePlayer,
     false,
     P::empty,
     {S::initialise},
     besideTheLibrary,
     {}},
    {"MissingFolder", Owner::missingFolder, false, P::empty, {S::initialise}, besideTheLibrary, {}},
    {"NoOwner", Owner::none, false, P::empty, {S::initialise}, besideTheLibrary, {}},
    {"WritableLibraryFolderKeepsThemBesideIt",
     Owner::player,
     true,
     P::usersFile,
     {S::configure, S::setAmount, S::initialise, S::quit},
     usersChoice,
     usersInPlayersFolder,
     usersChoice},
    // The newest choice wins, whoever made it: a copy that set nothing stops last.
    {"AnotherCopySetsTheAmountThenThisOneStops",
     Owner::player,
     true,
     P::empty,
     {S::initialise, S::configure, S::secondCopyStarts, S::secondCopySetsAmount, S::secondCopyQuits,
      S::quit},
     usersChoiceBeside,
     {},
     usersChoiceBeside},
    {"ThisCopySetsTheAmountThenAnotherStops",
     Owner::player,
     true,
     P::empty,
     {S::secondCopyStarts, S::initialise, S::configure, S::setAmount, S::quit, S::secondCopyQuits},
     usersChoiceBeside,
     {},
     usersChoiceBeside},
    {"EditedByHandWhileRunning",
     Owner::player,
     true,
     P::empty,
     {S::initialise, S::configure, S::editByHand, S::quit},
     editedByHand,
     {},
     editedByHand},
    {"HeldByAnotherProgramWhileInitialiseReads",
     Owner::player,
     true,
     P::empty,
     {S::holdFile, S::initialise, S::releaseFile, S::configure},
     besideTheLibrary,
     {},
     besideTheLibrary},
    // Set and `quit` while the file is held; freed; OK; the host never calls again.
    {"SetWhileHeldByAnotherProgramIsStoredAtOk",
     Owner::player,
     true,
     P::empty,
     {S::initialise, S::configure, S::holdFile, S::setAmount, S::quit, S::releaseFile, S::pressOk},
     usersChoiceBeside,
     {},
     usersChoiceBeside},
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

// Every file in `folder` with its size, then plugin.ini's bytes: what "unchanged" means for a
// folder.
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

// Both thumbs and both labels, as the user sees them.
std::string shown(HWND window) {
  char amountLabel[32] = "";
  char speedLabel[32] = "";
  GetDlgItemTextA(window, AMOUNT_LABEL_ID, amountLabel, sizeof amountLabel);
  GetDlgItemTextA(window, SPEED_LABEL_ID, speedLabel, sizeof speedLabel);
  return std::to_string(SendDlgItemMessageA(window, AMOUNT_SLIDER_ID, TBM_GETPOS, 0, 0)) + " " +
         std::to_string(SendDlgItemMessageA(window, SPEED_SLIDER_ID, TBM_GETPOS, 0, 0)) + " " +
         amountLabel + " " + speedLabel;
}

std::string shownFor(Values values) {
  return std::to_string(sliderLargest - values.amount) + " " +
         std::to_string(sliderLargest - values.speed) + " Amount:\n" +
         std::to_string(percentOf(values.amount)) + "% Speed:\n" +
         std::to_string(percentOf(values.speed)) + "%";
}

// Both settings as the file at `path` holds them, written out as iniText writes them; -1 for one
// it does not hold.
std::string storedIn(const std::wstring& path) {
  const wchar_t* section = L"Tallowick's Crackleton v1.0";
  return iniText(
      {static_cast<int>(GetPrivateProfileIntW(section, L"vinyl_amount", -1, path.c_str())),
       static_cast<int>(GetPrivateProfileIntW(section, L"vinyl_speed", -1, path.c_str()))});
}

// One thread with one call.
std::vector<std::vector<HostCall>> oneCall(HostCall call) {
  return {{call}};
}

class SettingsPlace : public ::testing::TestWithParam<HostCallOrder> {
 protected:
  void SetUp() override {
    const HostCallOrder& order = GetParam();
    if (!order.libraryFolderWritable && unwritableFolder() == nullptr) {
      GTEST_SKIP() << whyNoUnwritableFolder();
    }
    libraryFolder = order.libraryFolderWritable ? writableLibrary.path() : unwritableFolder();
    if (order.libraryFolderWritable) {
      writeTextFile(writableLibrary.file("plugin.ini"), iniText(besideTheLibrary));
      ASSERT_TRUE(CopyFileA(builtDllPath().c_str(), dllPath().c_str(), FALSE));
    }
    libraryBefore = folderContents(libraryFolder);

    settingsFolder = widenedText(playerFolder.path());
    if (order.playersFolder == P::emptyAndUnspellable) {
      settingsFolder += L"\\\u041d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0438";
      ASSERT_TRUE(CreateDirectoryW(settingsFolder.c_str(), nullptr))
          << "Wine cannot make a folder named in Cyrillic: its locale must be a UTF-8 one";
    }
    if (order.playersFolder == P::usersFile || order.playersFolder == P::amountOnly) {
      std::string text = iniText(usersInPlayersFolder);
      if (order.playersFolder == P::amountOnly) {
        text.erase(text.find("vinyl_speed"), text.find("vinyl_amount") - text.find("vinyl_speed"));
      }
      CreateDirectoryW((settingsFolder + L"\\Plugins").c_str(), nullptr);
      ASSERT_TRUE(writeFileBytes(playersIni(), text));
    }
    answerWithFolder(settingsFolder);
    if (order.playersFolder == P::emptyAndUnspellable) {
      ASSERT_NE(std::string(ansiAnswerText).find('?'), std::string::npos)
          << "the ANSI code page spells the folder's name; the 8-bit answer would find it";
    }
    ownerWindow = ownerFor(order.owner);
    load(ownerWindow);
  }

  HWND ownerFor(Owner owner) {
    static const wchar_t missingWide[] = L"C:\\no\\such\\folder";
    static const char missingAnsi[] = "C:\\no\\such\\folder";
    switch (owner) {
      case Owner::player:
        return playerWindow;
      case Owner::slowPlayer:
        otherPlayer = std::make_unique<PlayerOnItsOwnThread>(300, false);
        return otherPlayer->window();
      case Owner::hungPlayer:
        otherPlayer = std::make_unique<PlayerOnItsOwnThread>(0, true);
        return otherPlayer->window();
      case Owner::oldPlayer:
        wideAnswer = ansiAnswer = 0;
        return playerWindow;
      case Owner::nonsensePlayer:
        wideAnswer = ansiAnswer = 16;
        return playerWindow;
      case Owner::missingFolder:
        wideAnswer = reinterpret_cast<LRESULT>(missingWide);
        ansiAnswer = reinterpret_cast<LRESULT>(missingAnsi);
        return playerWindow;
      case Owner::dialog:
        dialogOwner = createDialogOwner();
        EXPECT_EQ(SendMessageA(dialogOwner, WM_USER, 0, playerSettingsFolderQuery),
                  MAKELONG(IDOK, DC_HASDEFID));
        return dialogOwner;
      case Owner::none:
        return nullptr;
    }
    return nullptr;
  }

  void TearDown() override {
    if (heldFile != INVALID_HANDLE_VALUE) {
      CloseHandle(heldFile);
    }
    freePlugin(secondCopy);
    callers.clear();
    otherPlayer.reset();
    DestroyWindow(dialogOwner);
    DestroyWindow(playerWindow);
  }

  std::string dllPath() const { return libraryFolder + "\\" + libraryFileName; }
  std::wstring playersIni() const { return settingsFolder + L"\\Plugins\\plugin.ini"; }
  std::string besideIni() const { return libraryFolder + "\\plugin.ini"; }
  std::string secondCopyPath() const { return libraryFolder + "\\second_copy.dll"; }

  void load(HWND owner) {
    std::string error;
    ASSERT_TRUE(loadPlugin(widenedText(dllPath()), 0, owner, plugin, error)) << error;
  }

  // Runs a host call, or calls on other threads, and holds it to the module's one wait and some
  // time for its own work, which takes several times longer where 32-bit code runs emulated.
  template <typename Call>
  void timed(const char* what, Call call) {
    const DWORD ownWorkMilliseconds = std::getenv("CRACKLETON_32BIT_EMULATED") ? 3000 : 400;
    const DWORD before = GetTickCount();
    call();
    EXPECT_LT(GetTickCount() - before, playerQueryTimeoutMilliseconds + ownWorkMilliseconds)
        << what;
  }

  void take(Step step) {
    EffectModule* module = plugin.module;
    switch (step) {
      case Step::configure:
        timed("configure", [&] { module->configure(module); });
        pumpMessages();
        break;
      case Step::initialise:
        timed("initialise", [&] { module->initialise(module); });
        break;
      case Step::quit:
        timed("quit", [&] { module->quit(module); });
        break;
      case Step::initialiseOnWorker:
        timed("initialise on a worker",
              [&] { CallerThreads worker(module, oneCall(HostCall::initialise)); });
        break;
      case Step::configureOnWorker:
        timed("configure on a worker", [&] {
          callers.push_back(std::make_unique<CallerThreads>(module, oneCall(HostCall::configure)));
        });
        break;
      case Step::configureWhileInitialising:
        timed("configure while initialise runs", [&] {
          callers.push_back(
              std::make_unique<CallerThreads>(module, oneCall(HostCall::configure), [module] {
                // Until the configuring thread's question waits for this thread.
                for (int iWait = 0;
                     iWait < 2000 && (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0;
                     ++iWait) {
                  Sleep(1);
                }
                module->initialise(module);
              }));
        });
        break;
      case Step::setAmount: {
        const std::vector<HWND> windows = settingsWindows();
        ASSERT_FALSE(windows.empty());
        dragAmountSlider(windows.front());
        break;
      }
      case Step::freeLibrary:
        freePlugin(plugin);
        break;
      case Step::loadForThePlayer:
        load(playerWindow);
        break;
      case Step::pressOk:
        for (HWND window : settingsWindows()) {
          SendDlgItemMessageA(window, OK_BUTTON_ID, BM_CLICK, 0, 0);
        }
        pumpMessages();
        break;
      case Step::holdFile:
        heldFile = CreateFileA(besideIni().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(heldFile, INVALID_HANDLE_VALUE);
        break;
      case Step::releaseFile:
        CloseHandle(heldFile);
        heldFile = INVALID_HANDLE_VALUE;
        break;
      case Step::editByHand:
        writeTextFile(besideIni(), iniText(editedByHand));
        break;
      case Step::secondCopyStarts: {
        ASSERT_TRUE(CopyFileA(builtDllPath().c_str(), secondCopyPath().c_str(), FALSE));
        std::string error;
        ASSERT_TRUE(loadPlugin(widenedText(secondCopyPath()), 0, playerWindow, secondCopy, error))
            << error;
        secondCopy.module->initialise(secondCopy.module);
        break;
      }
      case Step::secondCopySetsAmount: {
        secondCopy.module->configure(secondCopy.module);
        pumpMessages();
        const std::vector<HWND> windows = settingsWindows();
        const auto window = std::find_if(windows.begin(), windows.end(), [&](HWND each) {
          return reinterpret_cast<HMODULE>(GetWindowLongPtrA(each, GWLP_HINSTANCE)) ==
                 secondCopy.library;
        });
        ASSERT_NE(window, windows.end()) << "the second copy opened no window";
        dragAmountSlider(*window);
        SendDlgItemMessageA(*window, OK_BUTTON_ID, BM_CLICK, 0, 0);
        pumpMessages();
        break;
      }
      case Step::secondCopyQuits:
        secondCopy.module->quit(secondCopy.module);
        freePlugin(secondCopy);
        EXPECT_TRUE(DeleteFileA(secondCopyPath().c_str())) << "the second copy stayed loaded";
        break;
    }
  }

  // To `usersNewAmount`, as the user drags the thumb and lets go.
  static void dragAmountSlider(HWND window) {
    HWND slider = GetDlgItem(window, AMOUNT_SLIDER_ID);
    const int position = sliderLargest - usersNewAmount;
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    for (WORD scrollCode : {TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK}) {
      SendMessageA(window, WM_VSCROLL, MAKEWPARAM(scrollCode, position),
                   reinterpret_cast<LPARAM>(slider));
    }
  }

  void expectHeardAndShown(Values values) {
    std::int16_t block[256] = {};
    plugin.module->process(plugin.module, block, 256, 16, 1, 44100);
    for (int iValue = 0; iValue < 256; ++iValue) {
      const int entry = noiseTable[iValue * values.speed / 256];
      ASSERT_EQ(block[iValue], std::clamp(entry * values.amount / 256, -32768, 32767))
          << "value " << iValue;
    }
    for (HWND window : settingsWindows()) {
      EXPECT_EQ(shown(window), shownFor(values));
    }
  }

  // As the player ends: OK in every window, the hosts' threads gone, `quit`, and the library
  // freed, which then unloads it.
  void endAsThePlayerDoes() {
    for (HWND window : settingsWindows()) {
      SendDlgItemMessageA(window, OK_BUTTON_ID, BM_CLICK, 0, 0);
    }
    callers.clear();
    pumpMessages();
    if (plugin.module != nullptr) {
      plugin.module->quit(plugin.module);
    }
    freePlugin(plugin);
    EXPECT_EQ(GetModuleHandleA(dllPath().c_str()), nullptr) << "the library stayed loaded";
  }

  TempFolder writableLibrary;
  TempFolder playerFolder;
  std::string libraryFolder;
  std::string libraryBefore;
  std::wstring settingsFolder;
  HWND playerWindow = createAnsweringPlayerWindow();
  std::unique_ptr<PlayerOnItsOwnThread> otherPlayer;
  HWND dialogOwner = nullptr;
  HWND ownerWindow = nullptr;
  PlayerPlugin plugin;
  PlayerPlugin secondCopy;
  HANDLE heldFile = INVALID_HANDLE_VALUE;
  std::vector<std::unique_ptr<CallerThreads>> callers;
};

TEST_P(SettingsPlace, UsersChoiceIsPlayedShownAndKept) {
  const HostCallOrder& order = GetParam();
  for (Step step : order.steps) {
    take(step);
    if (HasFatalFailure()) {
      return;
    }
  }
  pumpMessages();
  expectHeardAndShown(order.heard);
  if (order.playersFile) {
    EXPECT_EQ(storedIn(playersIni()), iniText(*order.playersFile)) << readFileBytes(playersIni());
  } else {
    EXPECT_FALSE(fileExists(settingsFolder + L"\\Plugins")) << "a Plugins folder was made";
  }
  if (order.besideFile) {
    EXPECT_EQ(folderContents(libraryFolder),
              std::string(libraryFileName) + ":" +
                  std::to_string(readTextFile(builtDllPath()).size()) +
                  "\nplugin.ini:" + std::to_string(iniText(*order.besideFile).size()) + "\n" +
                  iniText(*order.besideFile))
        << "the probe leaves no file behind";
  } else {
    EXPECT_EQ(folderContents(libraryFolder), libraryBefore) << "the library's folder is written";
  }
  endAsThePlayerDoes();

  // The next normal start: `initialise` on the main thread, under a player window that answers.
  answerWithFolder(settingsFolder);
  load(playerWindow);
  plugin.module->initialise(plugin.module);
  plugin.module->configure(plugin.module);
  pumpMessages();
  EXPECT_EQ(settingsWindows().size(), 1u);
  expectHeardAndShown(order.heard);
  endAsThePlayerDoes();
}

INSTANTIATE_TEST_SUITE_P(EveryHostCallOrder, SettingsPlace, ::testing::ValuesIn(hostCallOrders),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
