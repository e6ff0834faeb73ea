// The settings window as the player meets it, through a real copy of the DLL under Wine's null
// graphics driver: the dialog template, the window `configure` opens over a host window, its
// sliders and labels, the noise they set, and the host freeing the library under an open window.

#include <gtest/gtest.h>

#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dialog_template.h"
#include "noise/noise_table.h"
#include "plugin/names.h"
#include "plugin_host.h"
#include "settings_window/dialog_ids.h"
#include "settings_window/slider_arithmetic.h"
#include "tools/player_host/caller_threads.h"
#include "tools/player_host/host_files.h"

namespace {

constexpr int checkBoxIds[] = {FAKE_SKIPPING_CHECK_BOX_ID, SWAYING_CHECK_BOX_ID,
                               NOISE_CHECK_BOX_ID};

// The player registers the common controls at start-up, as this environment does; the library
// registers the slider class itself only for a host that has not.
class CommonControlsRegistered : public ::testing::Environment {
 public:
  void SetUp() override {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
  }
};

::testing::Environment* const commonControls =
    ::testing::AddGlobalTestEnvironment(new CommonControlsRegistered);

std::string windowText(HWND window) {
  char text[256] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string controlText(HWND window, int controlId) {
  return windowText(GetDlgItem(window, controlId));
}

int sliderPosition(HWND window, int sliderId) {
  return static_cast<int>(SendDlgItemMessageA(window, sliderId, TBM_GETPOS, 0, 0));
}

// As the slider reports a move: the thumb goes first, then WM_VSCROLL reaches the dialog.
void moveSlider(HWND window, int sliderId, int position, WORD scrollCode) {
  SendDlgItemMessageA(window, sliderId, TBM_SETPOS, TRUE, position);
  SendMessageA(window, WM_VSCROLL, MAKEWPARAM(scrollCode, position),
               reinterpret_cast<LPARAM>(GetDlgItem(window, sliderId)));
}

// What the user sees: both sliders' positions and both labels.
using Shown = std::tuple<int, int, std::string, std::string>;

Shown shown(HWND window) {
  return {sliderPosition(window, AMOUNT_SLIDER_ID), sliderPosition(window, SPEED_SLIDER_ID),
          controlText(window, AMOUNT_LABEL_ID), controlText(window, SPEED_LABEL_ID)};
}

void pressOk(HWND window) {
  SendDlgItemMessageA(window, OK_BUTTON_ID, BM_CLICK, 0, 0);
}

std::string iniText(int amount, int speed) {
  return "[Tallowick's Crackleton v1.0]\r\nvinyl_speed=" + std::to_string(speed) +
         "\r\nvinyl_amount=" + std::to_string(amount) + "\r\n";
}

std::int16_t scaledEntry(int iEntry, int amount) {
  return static_cast<std::int16_t>(std::clamp(noiseTable[iEntry] * amount / 256, -32768, 32767));
}

class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    hostWindow = createPlayerWindow();
    ASSERT_NE(hostWindow, nullptr);
    ASSERT_TRUE(plugin.load(dllPath(), hostWindow));
    module = plugin.module;
  }

  // Closes what the test left open and ends the module as the player does. With no window open
  // at `quit`, the host's FreeLibrary must unload the library: nothing of it stays behind.
  void TearDown() override {
    for (HWND window : settingsWindows()) {
      DestroyWindow(window);
    }
    if (module != nullptr) {
      module->quit(module);
    }
    plugin.unload();
    EXPECT_EQ(GetModuleHandleA(dllPath().c_str()), nullptr) << "the library stayed loaded";
    DestroyWindow(hostWindow);
  }

  std::string dllPath() const { return folder.file(libraryFileName); }
  std::string ini() const { return folder.file("plugin.ini"); }

  void startWith(int amount, int speed) {
    writeTextFile(ini(), iniText(amount, speed));
    ASSERT_EQ(module->initialise(module), 0);
  }

  // `configure`, then the one settings window there is, or null if there is not exactly one.
  HWND openWindow() {
    module->configure(module);
    pumpMessages();
    const std::vector<HWND> windows = settingsWindows();
    return windows.size() == 1 ? windows.front() : nullptr;
  }

  std::vector<std::int16_t> noiseOverSilence(int valueCount) {
    std::vector<std::int16_t> block(valueCount, 0);
    module->process(module, block.data(), valueCount, 16, 1, 44100);
    return block;
  }

  TempFolder folder;
  LoadedPlugin plugin;
  EffectModule* module = nullptr;
  HWND hostWindow = nullptr;
};

// ---- The template ------------------------------------------------------------------------------

constexpr DWORD childStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD sliderStyle = childStyle | TBS_VERT | TBS_BOTH | TBS_NOTICKS | WS_TABSTOP;
constexpr DWORD checkBoxStyle = childStyle | BS_AUTOCHECKBOX | WS_DISABLED | WS_TABSTOP;
constexpr DWORD percentLabelStyle = childStyle | SS_CENTER | WS_GROUP;
constexpr DWORD textStyle = childStyle | SS_LEFT | WS_GROUP;

// What windres makes of each control of window.rc, beyond what the script spells out: its styles
// (the defaults of each kind of control) and its class, "#128" for BUTTON, "#130" for STATIC.
const std::pair<const char*, DWORD> expectedClassesAndStyles[] = {
    {"#128", childStyle | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {"msctls_trackbar32", sliderStyle},
    {"#130", percentLabelStyle},
    {"#128", checkBoxStyle},
    {"#128", checkBoxStyle},
    {"#128", checkBoxStyle},
    {"msctls_trackbar32", sliderStyle},
    {"#130", percentLabelStyle},
    {"#130", textStyle | WS_DISABLED},
    {"#130", textStyle},
    {"#130", textStyle},
    {"#130", textStyle},
    {"#130", textStyle},
};

// The rest of the template, a line for the dialog and one for each control: its number, text,
// place and size.
std::string layoutOf(const DialogTemplate& dialog) {
  std::ostringstream layout;
  layout << '"' << dialog.caption << "\" " << dialog.x << ',' << dialog.y << ' ' << dialog.width
         << 'x' << dialog.height << ' ' << dialog.face << ' ' << dialog.pointSize << " menu \""
         << dialog.menu << "\" class \"" << dialog.windowClass << "\"\n";
  for (const DialogItem& item : dialog.items) {
    layout << item.id << " \"" << item.text << "\" " << item.x << ',' << item.y << ' ' << item.width
           << 'x' << item.height
           << (item.extendedStyle != 0 || item.creationDataSize != 0 ? " and more\n" : "\n");
  }
  return layout.str();
}

// clang-format off
const char* const expectedLayout =
R"layout("Crackleton v1.0" 0,0 287x145 MS Sans Serif 8 menu "" class ""
1 "OK" 230,7 50x14
1000 "Slider1" 15,7 21x98
1008 "" 7,105 30x21
1005 "Enable Fake-Skipping" 82,22 85x10
1006 "Enable Swaying" 82,37 67x10
1007 "Enable Noise" 82,51 58x10
1009 "Slider2" 51,7 21x98
1010 "" 45,105 28x20
65535 "Miscellaneous options:" 82,7 72x8
65535 "Crackleton v1.0 for Winamp" 118,105 124x8
65535 "Record-surface noise" 118,115 84x8
65535 "(more options will be available in version 2.0)" 82,66 140x8
65535 "Dust, pops and rumble" 118,124 80x8
)layout";
// clang-format on

TEST_F(SettingsWindow, Template105IsTheClassicDialogWithThirteenControls) {
  HRSRC found = FindResourceA(plugin.library, MAKEINTRESOURCEA(SETTINGS_DIALOG_ID), RT_DIALOG);
  ASSERT_NE(found, nullptr);
  const void* data = LockResource(LoadResource(plugin.library, found));
  const DWORD size = SizeofResource(plugin.library, found);
  DialogTemplate dialog;
  ASSERT_TRUE(readDialogTemplate(data, size, dialog));
  EXPECT_LT(size - dialog.length, 4u) << "nothing after the last control but padding";
  EXPECT_EQ(dialog.style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)
      << "created hidden: no WS_VISIBLE";
  EXPECT_EQ(dialog.extendedStyle, 0u);

  ASSERT_EQ(dialog.items.size(), std::size(expectedClassesAndStyles));
  for (std::size_t iItem = 0; iItem < dialog.items.size(); ++iItem) {
    const auto& [windowClass, style] = expectedClassesAndStyles[iItem];
    SCOPED_TRACE("control #" + std::to_string(iItem + 1) + " \"" + dialog.items[iItem].text + "\"");
    EXPECT_EQ(dialog.items[iItem].style, style);
    // Class names match without regard to case; windres stores them upper-cased.
    EXPECT_EQ(lstrcmpiA(dialog.items[iItem].windowClass.c_str(), windowClass), 0)
        << dialog.items[iItem].windowClass << " for " << windowClass;
  }
  EXPECT_EQ(layoutOf(dialog), expectedLayout);
}

// ---- Opening -----------------------------------------------------------------------------------

TEST_F(SettingsWindow, ConfigureOpensOneVisibleWindowOwnedByTheHost) {
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), hostWindow);
  for (int sliderId : {AMOUNT_SLIDER_ID, SPEED_SLIDER_ID}) {
    EXPECT_EQ(SendDlgItemMessageA(window, sliderId, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(window, sliderId, TBM_GETRANGEMAX, 0, 0), 512);
    EXPECT_EQ(sliderPosition(window, sliderId), 256);
  }
  EXPECT_EQ(controlText(window, AMOUNT_LABEL_ID), "Amount:\n100%");
  EXPECT_EQ(controlText(window, SPEED_LABEL_ID), "Speed:\n100%");
}

TEST_F(SettingsWindow, SlidersAndLabelsShowTheStartingSettings) {
  startWith(100, 300);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(shown(window), Shown(412, 212, "Amount:\n39%", "Speed:\n117%"));
}

TEST_F(SettingsWindow, SecondConfigureLeavesTheOneWindow) {
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(openWindow(), window);
  EXPECT_EQ(settingsWindows().size(), 1u);
}

// A preferences page calls `configure` on a library it has just loaded, never initialised, and
// frees it without `quit`: the window shows the stored settings and OK stores what the user set.
TEST_F(SettingsWindow, ConfigureBeforeInitialiseShowsAndStoresTheUsersSettings) {
  writeTextFile(ini(), iniText(100, 300) + "[Other]\r\nkept=1\r\n");
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(shown(window), Shown(412, 212, "Amount:\n39%", "Speed:\n117%"));

  moveSlider(window, AMOUNT_SLIDER_ID, 256, TB_ENDTRACK);
  // The wrap limit is still 0, so the mixer keeps to entry 0.
  for (std::int16_t value : noiseOverSilence(64)) {
    ASSERT_EQ(value, noiseTable[0]);
  }
  pressOk(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(readTextFile(ini()), iniText(256, 300) + "[Other]\r\nkept=1\r\n");
}

// Only the settings file can hold a setting outside the sliders' range.
TEST_F(SettingsWindow, SettingsOutsideTheRangeShowAtTheNearerEnd) {
  startWith(1000, -5);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(shown(window), Shown(0, 512, "Amount:\n390%", "Speed:\n-1%"));
  pressOk(window);

  startWith(-5, 1000);
  window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(shown(window), Shown(512, 0, "Amount:\n-1%", "Speed:\n390%"));

  // Opening the window does not bring them into range; only moving a slider does.
  module->quit(module);
  const std::string stored = readTextFile(ini());
  EXPECT_NE(stored.find("vinyl_amount=-5"), std::string::npos) << stored;
  EXPECT_NE(stored.find("vinyl_speed=1000"), std::string::npos) << stored;
}

// ---- Moving the sliders ------------------------------------------------------------------------

struct SliderStop {
  int position;
  int setting;
  const char* percent;
};

void PrintTo(const SliderStop& stop, std::ostream* out) {
  *out << "position " << stop.position << " (" << stop.percent << ")";
}

const SliderStop sliderStops[] = {
    {0, 512, "200%"}, {1, 511, "199%"}, {256, 256, "100%"}, {512, 0, "0%"}};
const WORD scrollCodes[] = {TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK, TB_LINEDOWN};

class SliderMove : public SettingsWindow,
                   public ::testing::WithParamInterface<std::tuple<int, SliderStop, WORD>> {};

TEST_P(SliderMove, SettingLabelsAndNoiseFollowTheThumb) {
  const auto [sliderId, stop, scrollCode] = GetParam();
  const bool amountMoved = sliderId == AMOUNT_SLIDER_ID;
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);

  moveSlider(window, sliderId, stop.position, scrollCode);

  EXPECT_EQ(controlText(window, AMOUNT_LABEL_ID),
            std::string("Amount:\n") + (amountMoved ? stop.percent : "100%"));
  EXPECT_EQ(controlText(window, SPEED_LABEL_ID),
            std::string("Speed:\n") + (amountMoved ? "100%" : stop.percent));
  // 20,000 values at twice the speed stay short of the wrap.
  const std::vector<std::int16_t> noise = noiseOverSilence(20000);
  for (int iValue = 0; iValue < 20000; ++iValue) {
    const std::int16_t expected =
        amountMoved ? scaledEntry(iValue, stop.setting) : noiseTable[iValue * stop.setting / 256];
    ASSERT_EQ(noise[iValue], expected) << "value " << iValue;
  }
  module->quit(module);
  const std::string key = amountMoved ? "vinyl_amount=" : "vinyl_speed=";
  EXPECT_NE(readTextFile(ini()).find(key + std::to_string(stop.setting) + "\r\n"),
            std::string::npos);
}

std::string sliderMoveName(const ::testing::TestParamInfo<SliderMove::ParamType>& info) {
  const auto [sliderId, stop, scrollCode] = info.param;
  const char* codeNames[] = {"LineUp",     "LineDown", "PageUp", "PageDown", "ThumbPosition",
                             "ThumbTrack", "Top",      "Bottom", "EndTrack"};
  return std::string(sliderId == AMOUNT_SLIDER_ID ? "Amount" : "Speed") + "To" +
         std::to_string(stop.position) + "By" + codeNames[scrollCode];
}

INSTANTIATE_TEST_SUITE_P(EveryStopAndScrollCode, SliderMove,
                         ::testing::Combine(::testing::Values(AMOUNT_SLIDER_ID, SPEED_SLIDER_ID),
                                            ::testing::ValuesIn(sliderStops),
                                            ::testing::ValuesIn(scrollCodes)),
                         sliderMoveName);

TEST_F(SettingsWindow, ChangedSettingsReachTheFileAtQuitWithTheWindowLeftOpen) {
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  moveSlider(window, AMOUNT_SLIDER_ID, 1, TB_ENDTRACK);
  moveSlider(window, SPEED_SLIDER_ID, 512, TB_THUMBPOSITION);
  module->quit(module);
  const std::string stored = readTextFile(ini());
  EXPECT_NE(stored.find("vinyl_amount=511\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("vinyl_speed=0\r\n"), std::string::npos) << stored;
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowVisible(window));
}

// ---- What the user sets is never lost -----------------------------------------------------------
//
// Players start and end the module around an open window in every order. Whatever the order, the
// user's latest choice is what the mixer plays, what every open window shows and, once the user
// has ended the change, what the file holds. Each case starts from a file of 256/256 and nothing
// called.

enum class Step {
  configure,
  configureOnPage,  // as a preferences page, which owns the window
  initialise,
  quit,
  setAmountTo400,  // in the one window open
  pressOk,
  closePage,         // the page destroys its windows with itself, no OK
  fileSaysAmount100  // another copy of the module, or a hand, changes the file
};

struct LifetimeCase {
  const char* name;
  std::vector<Step> steps;
  int heardAmount;   // by the mixer, and shown by every open window
  int storedAmount;  // in plugin.ini
};

void PrintTo(const LifetimeCase& lifetimeCase, std::ostream* out) {
  *out << lifetimeCase.name;
}

using S = Step;
const LifetimeCase lifetimeCases[] = {
    {"SetBeforeInitialiseIsPlayedAndShown",
     {S::configure, S::setAmountTo400, S::initialise},
     400,
     400},
    {"SetWhileRunningSurvivesInitialiseAgain",
     {S::initialise, S::configure, S::setAmountTo400, S::initialise},
     400,
     400},
    {"WindowShowsTheFileInitialiseLoads",
     {S::initialise, S::configure, S::fileSaysAmount100, S::initialise},
     100,
     100},
    {"SetAfterQuitIsStored",
     {S::initialise, S::configure, S::quit, S::setAmountTo400, S::pressOk, S::initialise},
     400,
     400},
    {"SetOnAPageIsStoredThoughThePageCloses",
     {S::configureOnPage, S::setAmountTo400, S::closePage, S::initialise},
     400,
     400},
    {"SetWhileRunningIsStoredBeforeQuit",
     {S::initialise, S::configure, S::setAmountTo400, S::pressOk},
     400,
     400},
};

class UsersChoice : public SettingsWindow, public ::testing::WithParamInterface<LifetimeCase> {};

TEST_P(UsersChoice, IsPlayedShownAndStored) {
  writeTextFile(ini(), iniText(256, 256));
  HWND page = createPlayerWindow();
  for (Step step : GetParam().steps) {
    std::vector<HWND> windows = settingsWindows();
    switch (step) {
      case Step::configure:
        ASSERT_NE(openWindow(), nullptr);
        break;
      case Step::configureOnPage:
        module->parentWindow = page;
        ASSERT_NE(openWindow(), nullptr);
        module->parentWindow = hostWindow;
        break;
      case Step::initialise:
        ASSERT_EQ(module->initialise(module), 0);
        break;
      case Step::quit:
        module->quit(module);
        break;
      case Step::setAmountTo400:
        ASSERT_EQ(windows.size(), 1u);
        moveSlider(windows.front(), AMOUNT_SLIDER_ID, sliderLargest - 400, TB_ENDTRACK);
        break;
      case Step::pressOk:
        ASSERT_EQ(windows.size(), 1u);
        pressOk(windows.front());
        break;
      case Step::closePage:
        DestroyWindow(page);
        break;
      case Step::fileSaysAmount100:
        writeTextFile(ini(), iniText(100, 256));
        break;
    }
  }
  DestroyWindow(page);
  const int heard = GetParam().heardAmount;
  const std::vector<std::int16_t> noise = noiseOverSilence(64);
  for (int iValue = 0; iValue < 64; ++iValue) {
    ASSERT_EQ(noise[iValue], scaledEntry(iValue, heard)) << "value " << iValue;
  }
  const Shown expected(sliderLargest - heard, 256,
                       "Amount:\n" + std::to_string(heard * 100 / 256) + "%", "Speed:\n100%");
  for (HWND window : settingsWindows()) {
    EXPECT_EQ(shown(window), expected);
  }
  EXPECT_NE(readTextFile(ini()).find("vinyl_amount=" + std::to_string(GetParam().storedAmount)),
            std::string::npos)
      << readTextFile(ini());
}

INSTANTIATE_TEST_SUITE_P(InEveryOrder, UsersChoice, ::testing::ValuesIn(lifetimeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Closing -----------------------------------------------------------------------------------

TEST_F(SettingsWindow, CancelAndTheCheckBoxesChangeNothing) {
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);

  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  // The OK button's identifier without its handle is not the OK button.
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  for (int checkBoxId : checkBoxIds) {
    HWND checkBox = GetDlgItem(window, checkBoxId);
    EXPECT_FALSE(IsWindowEnabled(checkBox));
    // Not BM_CLICK: that ticks even a disabled check box, which no user can.
    clickLikeTheUser(checkBox);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(checkBoxId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(checkBox));
    EXPECT_EQ(SendMessageA(checkBox, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  }

  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(shown(window), Shown(256, 256, "Amount:\n100%", "Speed:\n100%"));
  module->quit(module);
  const std::string stored = readTextFile(ini());
  EXPECT_NE(stored.find("vinyl_amount=256\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("vinyl_speed=256\r\n"), std::string::npos) << stored;
}

TEST_F(SettingsWindow, OkClosesTheWindowAndConfigureOpensAFreshOne) {
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  pressOk(window);
  pumpMessages();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(settingsWindows().empty());

  window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  // The command the OK button sends, sent straight to the dialog.
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, OK_BUTTON_ID)));
  EXPECT_FALSE(IsWindow(window));

  window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(controlText(window, AMOUNT_LABEL_ID), "Amount:\n100%");
}

TEST_F(SettingsWindow, InitialiseForgetsTheOpenWindowWithoutClosingIt) {
  startWith(256, 256);
  HWND forgotten = openWindow();
  ASSERT_NE(forgotten, nullptr);
  ASSERT_EQ(module->initialise(module), 0);
  pumpMessages();
  EXPECT_TRUE(IsWindow(forgotten));
  EXPECT_TRUE(IsWindowVisible(forgotten));

  module->configure(module);
  pumpMessages();
  const std::vector<HWND> windows = settingsWindows();
  EXPECT_EQ(windows.size(), 2u);
  EXPECT_NE(std::find(windows.begin(), windows.end(), forgotten), windows.end());

  // The forgotten window still sets the amount.
  moveSlider(forgotten, AMOUNT_SLIDER_ID, 0, TB_THUMBTRACK);
  EXPECT_EQ(controlText(forgotten, AMOUNT_LABEL_ID), "Amount:\n200%");
  EXPECT_EQ(noiseOverSilence(16)[2], scaledEntry(2, 512));
}

TEST_F(SettingsWindow, WindowDestroyedBehindTheModulesBackDoesNotBlockConfigure) {
  startWith(256, 256);
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  DestroyWindow(window);
  window = openWindow();
  ASSERT_NE(window, nullptr);
  pressOk(window);

  // Closed with its owner, as when the player closes the page that opened it.
  HWND otherHost = createPlayerWindow();
  module->parentWindow = otherHost;
  window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindow(window, GW_OWNER), otherHost);
  DestroyWindow(otherHost);
  EXPECT_FALSE(IsWindow(window));

  module->parentWindow = hostWindow;
  window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindow(window, GW_OWNER), hostWindow);
}

// ---- The host frees the library under an open window -------------------------------------------
//
// Each case runs in a child process of its own, so that a crash fails the case instead of ending
// the whole program. The child reports through its exit code: 0 when every check held.

struct ChildChecks {
  bool passed = true;
  void expect(bool condition, const char* what) {
    if (!condition) {
      std::fprintf(stderr, "failed: %s\n", what);
      passed = false;
    }
  }
};

// 64-bit Windows, and Wine with it, swallow an exception raised in a window procedure that the
// system called: a dialog procedure in an unmapped library would fault again at every message
// and hang the child. Instead any crash ends the child at once, its exception code the exit code.
LONG CALLBACK endChildOnCrash(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (isCrash(record.ExceptionCode)) {
    std::fprintf(stderr, "crashed: exception %08lx at %p\n", record.ExceptionCode,
                 record.ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void endChildOnAnyCrash() {
  AddVectoredExceptionHandler(1, endChildOnCrash);
}

[[noreturn]] void exitWith(bool passed) {
  std::fflush(stderr);
  std::exit(passed ? 0 : 1);
}

// Everything a user can do with the window, every message reaching its dialog procedure.
void useWindow(HWND window, ChildChecks& checks) {
  moveSlider(window, AMOUNT_SLIDER_ID, 0, TB_THUMBTRACK);
  moveSlider(window, SPEED_SLIDER_ID, 512, TB_ENDTRACK);
  checks.expect(controlText(window, AMOUNT_LABEL_ID) == "Amount:\n200%", "amount label");
  checks.expect(controlText(window, SPEED_LABEL_ID) == "Speed:\n0%", "speed label");
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  clickLikeTheUser(GetDlgItem(window, checkBoxIds[0]));
  InvalidateRect(window, nullptr, TRUE);
  pumpMessages();
  checks.expect(IsWindow(window) != FALSE, "still open after cancel");
}

// The player loading the library anew and calling into it once more: with no window left open
// the module gives back its hold, and the player's FreeLibrary then unloads the library.
void callInAgainAndFree(const std::string& dllPath, ChildChecks& checks) {
  PlayerPlugin again;
  std::string error;
  checks.expect(loadPlugin(widenedText(dllPath), 0, nullptr, again, error), "library loads again");
  if (again.module == nullptr) {
    return;
  }
  again.module->quit(again.module);
  freePlugin(again);
  checks.expect(GetModuleHandleA(dllPath.c_str()) == nullptr, "library unloaded at last");
}

// What every child case starts with: any crash ends it, and a copy of the library of its own to
// load under a host window.
struct ChildCase {
  ChildCase() { endChildOnAnyCrash(); }
  ~ChildCase() { DestroyWindow(hostWindow); }
  void load(LoadedPlugin& plugin) {
    checks.expect(plugin.load(dllPath, hostWindow), "library loads");
  }

  ChildChecks checks;
  TempFolder folder;
  const std::string dllPath = folder.file(libraryFileName);
  HWND hostWindow = createPlayerWindow();
};

// As a preferences page does: load, configure without initialise, free at once.
bool freeRightAfterConfigure() {
  ChildCase child;
  ChildChecks& checks = child.checks;
  {
    LoadedPlugin plugin;
    child.load(plugin);
    plugin.module->configure(plugin.module);
  }
  pumpMessages();
  const std::vector<HWND> windows = settingsWindows();
  checks.expect(windows.size() == 1, "the window stays open");
  if (windows.size() == 1) {
    useWindow(windows.front(), checks);
    pressOk(windows.front());
    pumpMessages();
    checks.expect(!IsWindow(windows.front()), "OK closes it");
  }
  callInAgainAndFree(child.dllPath, checks);
  return checks.passed;
}

// As a player shutting down does: quit, free, and the window closes only with its owner.
bool freeAfterQuit() {
  ChildCase child;
  ChildChecks& checks = child.checks;
  {
    LoadedPlugin plugin;
    child.load(plugin);
    plugin.module->initialise(plugin.module);
    plugin.module->configure(plugin.module);
    plugin.module->quit(plugin.module);
  }
  for (int iRound = 0; iRound < 3; ++iRound) {
    pumpMessages();
    const std::vector<HWND> windows = settingsWindows();
    checks.expect(windows.size() == 1, "the window stays open");
    if (windows.size() == 1) {
      useWindow(windows.front(), checks);
    }
  }
  DestroyWindow(child.hostWindow);
  pumpMessages();
  checks.expect(settingsWindows().empty(), "closed with its owner");
  callInAgainAndFree(child.dllPath, checks);
  return checks.passed;
}

// Bursts of `configure` from 2 to 8 threads, each after a window has opened and closed (so the
// library's hold on itself is there to be given back): one window a burst, and the library stays
// loaded. Then threads calling `configure`, `initialise` and `quit` at random. At the end the
// host's own reference is the only one: its FreeLibrary unloads the library.
bool threadsCallAtOnce() {
  ChildCase child;
  ChildChecks& checks = child.checks;
  const std::string& dllPath = child.dllPath;
  {
    LoadedPlugin plugin;
    child.load(plugin);
    EffectModule* module = plugin.module;
    module->initialise(module);
    for (int iBurst = 0; iBurst < 28; ++iBurst) {
      const int threadCount = 2 + iBurst % 7;
      const CallerThreads callers(
          module, std::vector<std::vector<HostCall>>(threadCount, {HostCall::configure}));
      const std::vector<HWND> windows = settingsWindows();
      checks.expect(windows.size() == 1, "a burst of configure opens one window");
      checks.expect(GetModuleHandleA(dllPath.c_str()) != nullptr, "the library stays loaded");
      for (HWND window : windows) {
        SendDlgItemMessageA(window, OK_BUTTON_ID, BM_CLICK, 0, 0);
      }
    }
    std::minstd_rand random(7);
    for (int iRound = 0; iRound < 8; ++iRound) {
      std::vector<std::vector<HostCall>> callLists(8);
      for (std::vector<HostCall>& calls : callLists) {
        for (int iCall = 0; iCall < 6; ++iCall) {
          calls.push_back(static_cast<HostCall>(random() % 3));
        }
      }
      const CallerThreads callers(module, callLists);
      checks.expect(GetModuleHandleA(dllPath.c_str()) != nullptr, "the library stays loaded");
    }
    checks.expect(settingsWindows().empty(), "the windows closed with their threads");
    module->quit(module);
  }
  checks.expect(GetModuleHandleA(dllPath.c_str()) == nullptr,
                "no reference left over or freed twice: the host's FreeLibrary unloads it");
  return checks.passed;
}

TEST(SettingsWindowUnloadDeathTest, HostsCallInFromManyThreadsAtOnce) {
  EXPECT_EXIT(exitWith(threadsCallAtOnce()), ::testing::ExitedWithCode(0), "");
}

TEST(SettingsWindowUnloadDeathTest, HostFreesTheLibraryRightAfterConfigure) {
  EXPECT_EXIT(exitWith(freeRightAfterConfigure()), ::testing::ExitedWithCode(0), "");
}

TEST(SettingsWindowUnloadDeathTest, HostFreesTheLibraryAfterQuitWithTheWindowOpen) {
  EXPECT_EXIT(exitWith(freeAfterQuit()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
