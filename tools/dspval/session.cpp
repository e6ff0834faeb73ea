#include "tools/dspval/session.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <random>

#include "noise/noise_table.h"
#include "plugin/names.h"
#include "settings_window/dialog_ids.h"
#include "settings_window/slider_arithmetic.h"
#include "tools/dspval/hostile_audio.h"
#include "tools/dspval/settings_timeline.h"
#include "tools/player_host/caller_threads.h"
#include "tools/player_host/host_files.h"
#include "tools/player_host/player_host.h"

namespace {

// "Плагины": a folder name that no Western code page can spell.
const wchar_t* const unspellableFolderName = L"\u041f\u043b\u0430\u0433\u0438\u043d\u044b";
// What the audio threads may keep of one session for explaining: 64 MiB of 16-bit values.
constexpr std::int64_t valuesKeptPerSession = 32 << 20;

enum class FileCondition { normal, missing, lockedWhileLoading, readOnly, directory };

struct StoredValue {
  bool present = false;
  std::string text;        // as it stands in the file
  std::int32_t value = 0;  // what the platform's reader makes of it
};

// What the user has in plugin.ini for the two settings.
struct UsersValues {
  StoredValue speed;
  StoredValue amount;
};

// The plug-in as it should behave, seen from outside.
struct ModelModule {
  bool initialised = false;
  bool running = false;  // between `initialise` and `quit`
  bool fileUnreadable = false;
  bool amountSetByUser = false;
  bool speedSetByUser = false;
  HeldSettings held;
  HWND recordedWindow = nullptr;
};

struct SettingsWindow {
  HWND window;
};

BOOL CALLBACK collectDialog(HWND window, LPARAM found) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (lstrcmpA(className, "#32770") == 0 && processId == GetCurrentProcessId()) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  }
  return TRUE;
}

// The dialogs of this thread, or of every thread of the process.
std::vector<HWND> dialogs(bool everyThread = false) {
  std::vector<HWND> found;
  if (everyThread) {
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&found));
  } else {
    EnumThreadWindows(GetCurrentThreadId(), collectDialog, reinterpret_cast<LPARAM>(&found));
  }
  return found;
}

std::vector<HWND> newDialogs(const std::vector<HWND>& known, bool everyThread = false) {
  std::vector<HWND> opened;
  for (HWND dialog : dialogs(everyThread)) {
    if (std::find(known.begin(), known.end(), dialog) == known.end()) {
      opened.push_back(dialog);
    }
  }
  return opened;
}

// The file's lines, each with its line end.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t lineStart = 0; lineStart < text.size();) {
    std::size_t lineEnd = text.find('\n', lineStart);
    lineEnd = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
    lines.push_back(text.substr(lineStart, lineEnd - lineStart));
    lineStart = lineEnd;
  }
  return lines;
}

std::string withoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  return line;
}

// The file's bytes without `section` (its header line up to the next section's): what the
// plug-in must never change.
std::string withoutSection(const std::string& text, const std::string& section) {
  const std::string header = "[" + section + "]";
  std::string kept;
  bool inside = false;
  for (const std::string& line : linesOf(text)) {
    if (line[0] == '[') {
      inside = withoutLineEnd(line) == header;
    }
    if (!inside) {
      kept += line;
    }
  }
  return kept;
}

// The text of `key` in `section` as it stands in the file's bytes. Read from the bytes, not
// through the profile API: Wine's keeps a changed copy in memory even when writing the file
// failed, and what counts is what the user finds on disk.
StoredValue storedValue(const std::string& text, const std::string& section, const char* key) {
  const std::string header = "[" + section + "]";
  const std::string keyStart = std::string(key) + "=";
  StoredValue stored;
  bool inside = false;
  for (const std::string& line : linesOf(text)) {
    if (line[0] == '[') {
      inside = withoutLineEnd(line) == header;
    } else if (inside && line.compare(0, keyStart.size(), keyStart) == 0) {
      stored.present = true;
      stored.text = withoutLineEnd(line.substr(keyStart.size()));
    }
  }
  return stored;
}

// The same text, or a plain decimal number (blanks around it allowed) of the same value: the
// profile writer leaves a key alone when it is set to the value it already reads as.
bool sameValue(const StoredValue& stored, const StoredValue& expected) {
  if (stored.present != expected.present || stored.text == expected.text) {
    return stored.present == expected.present;
  }
  const std::size_t first = stored.text.find_first_not_of(" \t");
  const std::size_t last = stored.text.find_last_not_of(" \t");
  if (first == std::string::npos) {
    return false;
  }
  const std::string number = stored.text.substr(first, last - first + 1);
  const std::size_t digitsAt = number[0] == '-' || number[0] == '+' ? 1 : 0;
  if (number.size() == digitsAt || number.size() > 11 ||
      number.find_first_not_of("0123456789", digitsAt) != std::string::npos) {
    return false;
  }
  return std::stoll(number) == expected.value;
}

std::string describe(const StoredValue& value) {
  return value.present ? "\"" + value.text + "\"" : "nothing";
}

class Session {
 public:
  Session(const std::wstring& builtDll, std::uint32_t randomStart, SessionTotals& totals)
      : builtDll_(builtDll), random_(randomStart), totals_(totals), timeline_(HeldSettings{}) {}

  std::vector<std::string> run();

 private:
  using Action = void (Session::*)();

  // Each false when a step of laying out the session failed; the session then fails.
  bool prepareFolder();
  bool prepareSettingsFile();
  void chooseAndTakeAction();

  // The host's actions.
  void loadForPlayer();
  void freeForPlayer();
  void callInitialise();
  void callQuit();
  void callConfigure();
  void configureFromThreads();
  void openPreferencesPage();
  void moveSlider();
  void pressOk();
  void startAudio();
  void stopAudio();
  void mixOnMainThread();
  void pump();
  void finish();

  void configure(EffectModule* module);
  void loadLibraryNote();
  void freeLibraryNote();
  HANDLE lockIfLoading(bool loads);

  // The model.
  void modelStartsAfresh();
  // Every load reads the file while another program holds it, where the session's file is held
  // while read.
  void modelLoadsSettings(bool fileHeld = true);
  // What the module does before it stores, and as a window opens after `initialise`: a file it
  // could not read before is read now (nothing holds it at such a moment).
  void modelCatchesUp();
  // What `quit` stores while the module runs.
  void modelStoresSettings(const char* after, bool fileLocked = false);
  // What the module stores as the user ends a change, and at `initialise` where an earlier store
  // failed: what the user has set and is not stored yet.
  void modelStoresUserChanges(const char* after, bool fileLocked = false);
  void modelStores(const char* after, bool everything, bool fileLocked);
  void forgetWindow(HWND window);
  // Ends a change of the timeline with what the model now holds.
  void settle();

  void checkWindowShowsHeldSettings(HWND window, const char* when);
  void checkFile(const char* after);
  void checkUnloaded();
  void fail(const std::string& what);

  bool knowsThisPlugin() const { return knowsThisPlugin_; }
  bool dllLoaded() const { return GetModuleHandleW(dllPath_.c_str()) != nullptr; }
  std::wstring ini() const { return folder_ + L"\\plugin.ini"; }

  const std::wstring builtDll_;
  std::mt19937 random_;
  SessionTotals& totals_;
  std::vector<std::string> failures_;
  std::vector<std::string> trail_;

  std::wstring folder_;
  std::wstring dllPath_;
  std::string section_ = descriptionText;
  bool knowsThisPlugin_ = true;
  FileCondition condition_ = FileCondition::normal;
  std::string otherSections_;
  UsersValues usersValues_;

  HWND playerWindow_ = nullptr;
  PlayerPlugin player_;
  std::vector<SettingsWindow> windows_;
  ModelModule model_;
  SettingsTimeline timeline_;
  std::atomic<std::uint64_t> nextOrder_{0};
  std::atomic<std::int64_t> valuesLeftToKeep_{valuesKeptPerSession};
  AudioThreads audio_;
  AudioFindings mainThreadAudio_;
  GuardedMemory mainThreadMemory_;
};

std::vector<std::string> Session::run() {
  ++totals_.sessions;
  if (!prepareFolder() || !prepareSettingsFile()) {
    deleteTree(folder_);
    return failures_;
  }
  playerWindow_ = createPlayerWindow();
  const int actionCount = 6 + static_cast<int>(random_() % 30);
  for (int iAction = 0; iAction < actionCount && failures_.empty(); ++iAction) {
    chooseAndTakeAction();
  }
  finish();
  audio_.findings.add(std::move(mainThreadAudio_));
  totals_.blocks += audio_.findings.blockCount;
  totals_.values += audio_.findings.valueCount;
  for (std::string& failure : audio_.findings.failures) {
    fail(failure);
  }
  if (failures_.empty() && knowsThisPlugin()) {
    explainBlocks(std::move(audio_.findings.blocks), timeline_, failures_);
  }
  DestroyWindow(playerWindow_);
  deleteTree(folder_);
  if (!failures_.empty()) {
    std::string trail = "the host did: ";
    for (const std::string& step : trail_) {
      trail += step + (&step == &trail_.back() ? "" : ", ");
    }
    failures_.push_back(trail);
  }
  return failures_;
}

bool Session::prepareFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static int sessionCount = 0;
  folder_ = std::wstring(temp) + L"dspval-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++sessionCount);
  if (random_() % 2 == 0) {
    folder_ += std::wstring(L"-") + unspellableFolderName;
  }
  deleteTree(folder_);
  dllPath_ = folder_ + L"\\" + widenedText(libraryFileName);
  std::string failure;
  if (!layOutLibraryFolder(folder_, builtDll_, dllPath_, failure)) {
    fail("laying out the session: " + failure);
    return false;
  }
  return true;
}

bool Session::prepareSettingsFile() {
  // What a hand-edited file may hold; the platform's reader decides what each one means.
  static const char* const oddValues[] = {"abc", "-5",  "0x200", "1e3", "2147483648", "99999999999",
                                          "",    " 70", "-0",    "+12", "65537"};
  auto randomValue = [this]() -> std::string {
    if (random_() % 5 == 0) {
      return oddValues[random_() % std::size(oddValues)];
    }
    return std::to_string(random_() % (sliderLargest + 1));
  };
  std::string ours = "[" + section_ + "]\r\n";
  if (random_() % 8 != 0) {
    ours += std::string(speedKey) + "=" + randomValue() + "\r\n";
  }
  if (random_() % 8 != 0) {
    ours += std::string(amountKey) + "=" + randomValue() + "\r\n";
  }
  std::vector<std::string> sections = {"[Other plug-in]\r\nvolume=7\r\nname=left channel\r\n",
                                       "[Yet another]\r\nx=1\r\n"};
  if (random_() % 10 != 0) {
    sections.insert(sections.begin() + random_() % 3, ours);
  }
  std::string text;
  for (const std::string& section : sections) {
    text += section;
  }

  static const FileCondition conditions[] = {FileCondition::normal,
                                             FileCondition::normal,
                                             FileCondition::normal,
                                             FileCondition::missing,
                                             FileCondition::lockedWhileLoading,
                                             FileCondition::lockedWhileLoading,
                                             FileCondition::readOnly,
                                             FileCondition::directory};
  condition_ = conditions[random_() % std::size(conditions)];
  static const char* const conditionNames[] = {"plugin.ini", "no plugin.ini",
                                               "plugin.ini locked while read",
                                               "plugin.ini read-only", "a folder named plugin.ini"};
  trail_.push_back(conditionNames[static_cast<int>(condition_)] +
                   std::string(folder_.find(unspellableFolderName) == std::wstring::npos
                                   ? ""
                                   : " in a folder the code page cannot spell"));
  if (condition_ == FileCondition::missing) {
    return true;
  }
  if (condition_ == FileCondition::directory) {
    if (!CreateDirectoryW(ini().c_str(), nullptr)) {
      fail("laying out the session: cannot make a folder named " + narrowText(ini()));
      return false;
    }
    return true;
  }
  if (!writeFileBytes(ini(), text)) {
    fail("laying out the session: cannot write " + narrowText(ini()));
    return false;
  }
  otherSections_ = withoutSection(text, section_);
  const std::wstring section = widenedText(section_);
  for (auto [key, value] :
       {std::pair{speedKey, &usersValues_.speed}, std::pair{amountKey, &usersValues_.amount}}) {
    *value = storedValue(text, section_, key);
    value->value = static_cast<std::int32_t>(GetPrivateProfileIntW(
        section.c_str(), widenedText(key).c_str(), defaultSetting, ini().c_str()));
  }
  if (condition_ == FileCondition::readOnly) {
    SetFileAttributesW(ini().c_str(), FILE_ATTRIBUTE_READONLY);
    // Wine run as root writes read-only files all the same; then so may the plug-in.
    HANDLE writer = CreateFileW(ini().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (writer != INVALID_HANDLE_VALUE) {
      CloseHandle(writer);
      condition_ = FileCondition::normal;
    }
  }
  return true;
}

void Session::chooseAndTakeAction() {
  std::vector<std::pair<Action, const char*>> actions = {
      {&Session::openPreferencesPage, "a preferences page"},
      {&Session::pump, "pump"},
  };
  if (player_.module == nullptr) {
    actions.push_back({&Session::loadForPlayer, "load"});
    actions.push_back({&Session::loadForPlayer, "load"});
  } else {
    actions.push_back({&Session::callInitialise, "initialise"});
    actions.push_back({&Session::callInitialise, "initialise"});
    actions.push_back({&Session::callQuit, "quit"});
    actions.push_back({&Session::callConfigure, "configure"});
    actions.push_back({&Session::callConfigure, "configure"});
    actions.push_back({&Session::configureFromThreads, "configure"});
    actions.push_back({&Session::freeForPlayer, "free"});
    actions.push_back({&Session::mixOnMainThread, "process"});
    actions.push_back({audio_.running() ? &Session::stopAudio : &Session::startAudio,
                       audio_.running() ? "stop audio" : "start audio"});
  }
  if (!windows_.empty()) {
    actions.push_back({&Session::pressOk, "OK"});
    if (knowsThisPlugin()) {
      actions.push_back({&Session::moveSlider, "slider"});
      actions.push_back({&Session::moveSlider, "slider"});
    }
  }
  const auto& [action, name] = actions[random_() % actions.size()];
  trail_.push_back(name);
  (this->*action)();
}

void Session::loadLibraryNote() {
  if (!dllLoaded()) {
    modelStartsAfresh();
  }
}

void Session::freeLibraryNote() {
  if (!dllLoaded()) {
    if (!windows_.empty()) {
      fail("the library was unloaded under an open settings window");
      windows_.clear();
    }
    modelStartsAfresh();
  }
}

void Session::loadForPlayer() {
  loadLibraryNote();
  std::string error;
  if (!loadPlugin(dllPath_, 0, playerWindow_, player_, error)) {
    fail(error);
    return;
  }
  knowsThisPlugin_ = lstrcmpA(player_.module->description, descriptionText) == 0;
  section_ = player_.module->description;
}

void Session::freeForPlayer() {
  stopAudio();
  freePlugin(player_);
  freeLibraryNote();
}

HANDLE Session::lockIfLoading(bool loads) {
  if (!loads || condition_ != FileCondition::lockedWhileLoading) {
    return INVALID_HANDLE_VALUE;
  }
  // Another program holding the file, sharing nothing, for as long as the module reads it.
  return CreateFileW(ini().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

void Session::callInitialise() {
  HANDLE lock = lockIfLoading(true);
  timeline_.beginChange();
  ++totals_.hostCalls;
  const std::int32_t result = player_.module->initialise(player_.module);
  const bool locked = lock != INVALID_HANDLE_VALUE;
  if (locked) {
    CloseHandle(lock);
  }
  if (result != 0) {
    fail("initialise returned " + std::to_string(result));
  }
  modelStoresUserChanges("initialise", locked);
  modelLoadsSettings(locked);
  model_.held.wrapLimit = fullWrapLimit;
  model_.recordedWindow = nullptr;
  model_.initialised = true;
  model_.running = true;
  settle();
  for (const SettingsWindow& open : windows_) {
    checkWindowShowsHeldSettings(open.window, "after initialise");
  }
}

void Session::callQuit() {
  timeline_.beginChange();
  ++totals_.hostCalls;
  player_.module->quit(player_.module);
  modelCatchesUp();
  settle();
  if (model_.running) {
    model_.running = false;
    modelStoresSettings("quit");
  } else {
    modelStoresUserChanges("quit while the module was not running");
  }
}

void Session::callConfigure() {
  configure(player_.module);
}

void Session::configure(EffectModule* module) {
  const bool opens = model_.recordedWindow == nullptr || !IsWindow(model_.recordedWindow);
  const bool loads = opens && !model_.initialised;
  HANDLE lock = lockIfLoading(loads);
  const std::vector<HWND> known = dialogs();
  timeline_.beginChange();
  ++totals_.hostCalls;
  module->configure(module);
  if (lock != INVALID_HANDLE_VALUE) {
    CloseHandle(lock);
  }
  if (loads) {
    modelLoadsSettings();
  } else if (opens) {
    modelCatchesUp();
  }
  settle();
  const std::vector<HWND> opened = newDialogs(known);
  if (opened.size() != (opens ? 1u : 0u)) {
    fail("configure opened " + std::to_string(opened.size()) + " windows where " +
         (opens ? "one" : "none") + " should open");
    return;
  }
  if (!opens) {
    return;
  }
  ++totals_.windows;
  windows_.push_back({opened.front()});
  model_.recordedWindow = opened.front();
  if (knowsThisPlugin()) {
    checkWindowShowsHeldSettings(opened.front(), "as it opened");
  }
}

// As `configure`, but from several threads at once: one window at most opens, on one of them, and
// OK closes it there; the library holds itself once, however many threads raced to open it.
void Session::configureFromThreads() {
  const int threadCount = 2 + static_cast<int>(random_() % 7);
  trail_.back() += " from " + std::to_string(threadCount) + " threads at once";
  const bool opens = model_.recordedWindow == nullptr || !IsWindow(model_.recordedWindow);
  const bool loads = opens && !model_.initialised;
  HANDLE lock = lockIfLoading(loads);
  const std::vector<HWND> known = dialogs(true);
  timeline_.beginChange();
  totals_.hostCalls += threadCount;
  const CallerThreads threads(
      player_.module, std::vector<std::vector<HostCall>>(threadCount, {HostCall::configure}));
  if (lock != INVALID_HANDLE_VALUE) {
    CloseHandle(lock);
  }
  if (loads) {
    modelLoadsSettings();
  } else if (opens) {
    modelCatchesUp();
  }
  settle();
  const std::vector<HWND> opened = newDialogs(known, true);
  for (HWND window : opened) {
    if (knowsThisPlugin()) {
      checkWindowShowsHeldSettings(window, "as it opened");
    }
    ++totals_.windows;
    ++totals_.okPresses;
    timeline_.beginChange();
    SendMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    modelCatchesUp();
    settle();
    modelStoresUserChanges("OK");
    if (IsWindow(window)) {
      fail("OK did not close a settings window opened on another thread");
    }
    forgetWindow(window);
  }
  if (opened.size() != (opens ? 1u : 0u)) {
    fail("configure from " + std::to_string(threadCount) + " threads at once opened " +
         std::to_string(opened.size()) + " windows where " + (opens ? "one" : "none") +
         " should open");
  }
}

void Session::openPreferencesPage() {
  loadLibraryNote();
  PlayerPlugin page;
  std::string error;
  if (!loadPlugin(dllPath_, 0, playerWindow_, page, error)) {
    fail(error);
    return;
  }
  configure(page.module);
  // Freed as soon as `configure` returns, and its window served by the player's message loop.
  freePlugin(page);
  freeLibraryNote();
  pump();
}

void Session::moveSlider() {
  const SettingsWindow& chosen = windows_[random_() % windows_.size()];
  const bool amount = random_() % 2 == 0;
  const HWND slider = GetDlgItem(chosen.window, amount ? AMOUNT_SLIDER_ID : SPEED_SLIDER_ID);
  const std::int32_t position = random_() % 4 == 0
                                    ? (random_() % 2) * sliderLargest
                                    : static_cast<std::int32_t>(random_() % (sliderLargest + 1));
  static const WORD scrollCodes[] = {TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK, TB_LINEDOWN};
  const WORD scrollCode = scrollCodes[random_() % 4];
  // As the slider reports a move: the thumb goes first, then the dialog hears of it.
  SendMessageW(slider, TBM_SETPOS, TRUE, position);
  timeline_.beginChange();
  SendMessageW(chosen.window, WM_VSCROLL, MAKEWPARAM(scrollCode, position),
               reinterpret_cast<LPARAM>(slider));
  (amount ? model_.held.amount : model_.held.speed) = sliderLargest - position;
  trail_.back() += std::string(amount ? " amount " : " speed ") +
                   std::to_string(sliderLargest - position) +
                   (scrollCode == TB_THUMBTRACK ? " (dragging)" : "");
  (amount ? model_.amountSetByUser : model_.speedSetByUser) = true;
  if (scrollCode != TB_THUMBTRACK) {
    modelCatchesUp();
  }
  settle();
  if (scrollCode != TB_THUMBTRACK) {
    modelStoresUserChanges("the user ended a change");
  }
  for (const SettingsWindow& open : windows_) {
    checkWindowShowsHeldSettings(open.window, "after a slider moved");
  }
}

void Session::pressOk() {
  const std::size_t chosen = random_() % windows_.size();
  const SettingsWindow pressed = windows_[chosen];
  const HWND button = GetDlgItem(pressed.window, IDOK);
  ++totals_.okPresses;
  timeline_.beginChange();
  switch (random_() % 3) {
    case 0:
      trail_.back() += " (clicked)";
      SendMessageW(button, BM_CLICK, 0, 0);
      break;
    case 1: {
      trail_.back() += " (mouse)";
      // The user's own click, on the window brought to the top.
      SetWindowPos(pressed.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      SetForegroundWindow(pressed.window);
      clickLikeTheUser(button);
      break;
    }
    default: {
      trail_.back() += " (Enter)";
      // Enter, as the player's message loop hands it to the dialog manager.
      MSG enter = {};
      enter.hwnd = button;
      enter.message = WM_KEYDOWN;
      enter.wParam = VK_RETURN;
      IsDialogMessageW(pressed.window, &enter);
      break;
    }
  }
  pumpMessages();
  modelCatchesUp();
  settle();
  modelStoresUserChanges("OK");
  if (IsWindow(pressed.window)) {
    fail("OK did not close its settings window (" + trail_.back() + ")");
    return;
  }
  windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(chosen));
  for (const SettingsWindow& other : windows_) {
    if (!IsWindow(other.window)) {
      fail("OK in one settings window closed another");
      return;
    }
  }
  forgetWindow(pressed.window);
}

// A window that closes stores only what could not be stored as each change ended; a change still
// being dragged is stored by the next `quit` or change.
void Session::forgetWindow(HWND window) {
  if (model_.recordedWindow == window) {
    model_.recordedWindow = nullptr;
  }
}

void Session::startAudio() {
  AudioContext context{player_.module, &timeline_, &nextOrder_, &valuesLeftToKeep_};
  audio_.start(context, 1 + static_cast<int>(random_() % 2), random_());
}

void Session::stopAudio() {
  audio_.stop();
}

void Session::mixOnMainThread() {
  AudioContext context{player_.module, &timeline_, &nextOrder_, &valuesLeftToKeep_};
  mixOneBlock(context, random_, mainThreadMemory_, mainThreadAudio_);
}

void Session::pump() {
  pumpMessages();
}

void Session::finish() {
  stopAudio();
  trail_.push_back("OK in every window");
  while (failures_.empty() && !windows_.empty()) {
    pressOk();
  }
  for (const SettingsWindow& left : windows_) {
    DestroyWindow(left.window);
    forgetWindow(left.window);
  }
  windows_.clear();
  if (player_.module != nullptr) {
    if (random_() % 5 != 0) {
      trail_.push_back("quit");
      callQuit();
    }
    trail_.push_back("free");
    freeForPlayer();
  }
  checkFile("the session");
  checkUnloaded();
}

void Session::modelStartsAfresh() {
  timeline_.beginChange();
  model_ = ModelModule{};
  settle();
}

// A setting the user set that could not be stored yet stays as the user set it.
void Session::modelLoadsSettings(bool fileHeld) {
  model_.fileUnreadable = (fileHeld && condition_ == FileCondition::lockedWhileLoading) ||
                          condition_ == FileCondition::directory;
  const bool read = !model_.fileUnreadable && condition_ != FileCondition::missing;
  const auto loaded = [read](const StoredValue& stored) {
    return read && stored.present ? stored.value : defaultSetting;
  };
  if (!model_.speedSetByUser) {
    model_.held.speed = loaded(usersValues_.speed);
  }
  if (!model_.amountSetByUser) {
    model_.held.amount = loaded(usersValues_.amount);
  }
}

void Session::modelCatchesUp() {
  if (model_.fileUnreadable) {
    modelLoadsSettings(false);
  }
}

void Session::modelStoresSettings(const char* after, bool fileLocked) {
  modelStores(after, !model_.fileUnreadable, fileLocked);
}

void Session::modelStoresUserChanges(const char* after, bool fileLocked) {
  modelStores(after, false, fileLocked);
}

void Session::modelStores(const char* after, bool everything, bool fileLocked) {
  const bool writable = !fileLocked && condition_ != FileCondition::readOnly &&
                        condition_ != FileCondition::directory;
  if (writable) {
    if (everything || model_.speedSetByUser) {
      usersValues_.speed = {true, std::to_string(model_.held.speed), model_.held.speed};
      model_.speedSetByUser = false;
    }
    if (everything || model_.amountSetByUser) {
      usersValues_.amount = {true, std::to_string(model_.held.amount), model_.held.amount};
      model_.amountSetByUser = false;
    }
    if (condition_ == FileCondition::missing &&
        (usersValues_.speed.present || usersValues_.amount.present)) {
      condition_ = FileCondition::normal;
    }
  }
  checkFile(after);
}

void Session::settle() {
  timeline_.endChange(model_.held);
}

void Session::checkWindowShowsHeldSettings(HWND window, const char* when) {
  for (auto [sliderId, setting, name] : {std::tuple{AMOUNT_SLIDER_ID, model_.held.amount, "amount"},
                                         std::tuple{SPEED_SLIDER_ID, model_.held.speed, "speed"}}) {
    const auto shown =
        static_cast<std::int32_t>(SendDlgItemMessageW(window, sliderId, TBM_GETPOS, 0, 0));
    const auto expected = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{sliderLargest} - setting, 0, sliderLargest));
    if (shown != expected) {
      fail(std::string("the settings window ") + when + " showed the " + name + " slider at " +
           std::to_string(shown) + " where the held " + name + " of " + std::to_string(setting) +
           " puts it at " + std::to_string(expected));
    }
  }
}

void Session::checkFile(const char* after) {
  if (!knowsThisPlugin() || condition_ == FileCondition::directory) {
    return;
  }
  const std::string text = readFileBytes(ini());
  if (withoutSection(text, section_) != otherSections_) {
    fail(std::string("after ") + after + " plugin.ini's other sections changed");
  }
  for (auto [key, expected] :
       {std::pair{speedKey, usersValues_.speed}, std::pair{amountKey, usersValues_.amount}}) {
    const StoredValue stored = storedValue(text, section_, key);
    if (!sameValue(stored, expected)) {
      fail(std::string("after ") + after + " plugin.ini holds " + key + " " + describe(stored) +
           " where the user's value is " + describe(expected));
    }
  }
}

void Session::checkUnloaded() {
  if (!dllLoaded()) {
    return;
  }
  // A library that held itself for its window gives the hold back at the host's next call.
  PlayerPlugin again;
  std::string error;
  if (loadPlugin(dllPath_, 0, playerWindow_, again, error)) {
    again.module->initialise(again.module);
    freePlugin(again);
  }
  if (dllLoaded()) {
    fail("the library stayed loaded after its windows closed and the host called in and freed it");
  }
}

void Session::fail(const std::string& what) {
  failures_.push_back(what);
}

}  // namespace

std::vector<std::string> runSession(const std::wstring& dllPath, std::uint32_t randomStart,
                                    SessionTotals& totals) {
  Session session(dllPath, randomStart, totals);
  return session.run();
}
