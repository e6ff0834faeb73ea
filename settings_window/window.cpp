// The modeless settings window: opening it, its dialog procedure, and keeping the library loaded
// for as long as it is open.

#include "settings_window/window.h"

#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <utility>

#include "plugin/effect_state.h"
#include "plugin/module.h"
#include "plugin/settings_file.h"
#include "settings_window/dialog_ids.h"
#include "settings_window/slider_arithmetic.h"

// The hard part is the library's lifetime, not the window's. Players unload the library while
// the window is open: a preferences page loads it afresh, calls `configure` and frees it as soon
// as `configure` returns; at shutdown a host calls `quit` and frees it. The window would then run
// a dialog procedure that is no longer mapped. So from the first `configure` that opens a window
// the module holds one reference on its own library for as long as any settings window is open.
// That reference must not be dropped from inside the dialog procedure when the window closes: it
// may be the last one, and the code being returned to would vanish with it. It is dropped instead
// at the host's next call into the module once no window is open: a host that calls in holds a
// reference of its own, so ours is never the last. A host that never calls in again leaves the
// library loaded until the process ends, which costs nothing but its memory.
//
// Some hosts call in from several threads at once (a bridge that starts a thread per request).
// The reference is therefore only ever moved with an atomic exchange: whoever takes it out frees
// it, so no reference is freed twice. And one `configure` at a time opens a window, so that two
// calls at once cannot both find none open and open two.
namespace {

// The library as held for the open windows, or null when none is held.
std::atomic<HMODULE> heldLibrary{nullptr};

// A `configure` is between finding no window open and recording the one it opens.
std::atomic<bool> windowBeingOpened{false};

// The record of the open settings window: its handle, as `effectState` keeps it.
HWND recordedWindow() {
  return reinterpret_cast<HWND>(effectState.settingsWindow.load(std::memory_order_relaxed));
}

void recordWindow(HWND window) {
  effectState.settingsWindow.store(reinterpret_cast<std::uintptr_t>(window),
                                   std::memory_order_relaxed);
}

// Forgets the record only when it names `window`.
void forgetRecordOf(HWND window) {
  auto recorded = reinterpret_cast<std::uintptr_t>(window);
  effectState.settingsWindow.compare_exchange_strong(recorded, 0, std::memory_order_relaxed);
}

// Asks a settings window to show the settings the module holds.
constexpr UINT showSettingsMessage = WM_APP + 1;

bool isSettingsWindow(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  // A window destroyed behind the module's back (with its owner or its thread) is no longer a
  // window; the dialog procedure tells ours apart from any window that reuses its handle.
  return IsWindow(window) && processId == GetCurrentProcessId() &&
         GetWindowLongPtrA(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(settingsDialogProc);
}

BOOL CALLBACK findSettingsWindow(HWND window, LPARAM found) {
  if (isSettingsWindow(window)) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  return TRUE;
}

// Without waiting for a window of another thread, whose thread may be waiting for this one. A
// window of this thread shows them at once.
BOOL CALLBACK askToShowSettings(HWND window, LPARAM except) {
  if (window != reinterpret_cast<HWND>(except) && isSettingsWindow(window)) {
    SendNotifyMessageA(window, showSettingsMessage, 0, 0);
  }
  return TRUE;
}

// Every settings window is a top-level window (a popup, owned or not); `initialise` forgets the
// record of one without closing it, so they are all looked for, not just the recorded one.
bool anySettingsWindowOpen() {
  bool found = false;
  EnumWindows(findSettingsWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Puts `library`, a reference of this thread's, in the place of the held one, and frees the one
// it replaces: exactly one stays held.
void holdInstead(HMODULE library) {
  const HMODULE replaced = heldLibrary.exchange(library);
  if (replaced != nullptr) {
    FreeLibrary(replaced);
  }
}

void holdLibrary() {
  HMODULE library = nullptr;
  // On failure nothing more is held and the window is as unprotected as it would be without this.
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCSTR>(settingsDialogProc), &library)) {
    holdInstead(library);
  }
}

bool anyWindowOpenOrOpening() {
  return windowBeingOpened.load() || anySettingsWindowOpen();
}

// Players register the common controls at start-up; a host that never did (a console program, a
// bridge) would get no window at all, as the dialog cannot make its sliders. Loaded at run time,
// so that the library imports nothing more; never freed, as the classes must outlive this call.
void registerSliderClassIfMissing(HINSTANCE instance) {
  WNDCLASSEXA sliderClass = {};
  sliderClass.cbSize = sizeof sliderClass;
  if (GetClassInfoExA(instance, TRACKBAR_CLASSA, &sliderClass)) {
    return;
  }
  HMODULE commonControls = LoadLibraryA("comctl32.dll");
  if (commonControls == nullptr) {
    return;
  }
  using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto initCommonControlsEx = reinterpret_cast<InitCommonControlsExFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(commonControls, "InitCommonControlsEx")));
  if (initCommonControlsEx != nullptr) {
    const INITCOMMONCONTROLSEX barClasses = {sizeof barClasses, ICC_BAR_CLASSES};
    initCommonControlsEx(&barClasses);
  }
}

std::int32_t settingFromSlider(HWND window, int sliderId) {
  const LRESULT position = SendDlgItemMessageA(window, sliderId, TBM_GETPOS, 0, 0);
  return settingFromSliderPosition(static_cast<std::int32_t>(position));
}

// Moving the thumb this way sends no WM_VSCROLL: the user has set nothing.
void setSliderPosition(HWND window, int sliderId, std::int32_t setting) {
  SendDlgItemMessageA(window, sliderId, TBM_SETPOS, TRUE, sliderPositionFromSetting(setting));
}

void showSettings(HWND window) {
  setSliderPosition(window, AMOUNT_SLIDER_ID, effectState.amount.load(std::memory_order_relaxed));
  setSliderPosition(window, SPEED_SLIDER_ID, effectState.speed.load(std::memory_order_relaxed));
  updateLabels(window);
}

// `module` is the module the window belongs to, kept for as long as the window lives.
INT_PTR onInitDialog(HWND window, LPARAM module) {
  SetWindowLongPtrA(window, DWLP_USER, module);
  for (int sliderId : {AMOUNT_SLIDER_ID, SPEED_SLIDER_ID}) {
    SendDlgItemMessageA(window, sliderId, TBM_SETRANGEMAX, FALSE, sliderLargest);
    SendDlgItemMessageA(window, sliderId, TBM_SETRANGEMIN, FALSE, 0);
  }
  showSettings(window);
  // FALSE: the window does not take the keyboard focus when it opens.
  return FALSE;
}

const EffectModule* moduleOf(HWND window) {
  return reinterpret_cast<const EffectModule*>(GetWindowLongPtrA(window, DWLP_USER));
}

INT_PTR onCommand(HWND window, HWND control) {
  // Esc sends IDCANCEL with no control; only the OK button closes the window. It closes the
  // window it belongs to, also one that `initialise` has forgotten, and forgets the record only
  // when the record names this window.
  if (control != GetDlgItem(window, OK_BUTTON_ID)) {
    return FALSE;
  }
  // A change whose store failed (another program held the file) is stored now, if it can be: a
  // host may never call into the module again.
  if (const EffectModule* module = moduleOf(window)) {
    storeUserChanges(module);
  }
  forgetRecordOf(window);
  DestroyWindow(window);
  return FALSE;
}

// Every open settings window but `except` shows the settings the module holds.
void showSettingsInOtherWindows(HWND except) {
  EnumWindows(askToShowSettings, reinterpret_cast<LPARAM>(except));
}

// Every scroll code alike, so that the setting follows the thumb while it is dragged. The user
// ends a change with every code but the thumb's tracking (the slider sends TB_ENDTRACK after every
// drag, page click and key press): the setting is stored then, whether or not the module runs, so
// that nothing the user chose hangs on a `quit` or on the window closing in good order.
INT_PTR onVScroll(HWND window, HWND slider, WORD scrollCode) {
  bool moved = false;
  for (auto [sliderId, setting] :
       {std::pair{AMOUNT_SLIDER_ID, Setting::amount}, std::pair{SPEED_SLIDER_ID, Setting::speed}}) {
    if (slider == GetDlgItem(window, sliderId)) {
      setByUser(setting, settingFromSlider(window, sliderId));
      updateLabels(window);
      moved = true;
    }
  }
  if (!moved) {
    return FALSE;
  }
  showSettingsInOtherWindows(window);
  const EffectModule* module = moduleOf(window);
  if (scrollCode != TB_THUMBTRACK && module != nullptr) {
    storeUserChanges(module);
  }
  return FALSE;
}

void openSettingsWindow(EffectModule* module) {
  // A preferences page calls `configure` on a library it has just loaded, without `initialise`:
  // the window must show the user's settings, not the zeros the library starts with.
  loadSettingsForWindow(module);
  registerSliderClassIfMissing(module->instance);
  // Held before the window exists, so that no moment of its life is without the reference.
  holdLibrary();
  HWND window = CreateDialogParamA(module->instance, MAKEINTRESOURCEA(SETTINGS_DIALOG_ID),
                                   module->parentWindow, settingsDialogProc,
                                   reinterpret_cast<LPARAM>(module));
  recordWindow(window);
  if (window != nullptr) {
    ShowWindow(window, SW_SHOW);
  }
}

}  // namespace

void releaseLibraryOnceWindowsClosed() {
  if (heldLibrary.load() == nullptr || anyWindowOpenOrOpening()) {
    return;
  }
  const HMODULE library = heldLibrary.exchange(nullptr);
  if (library == nullptr) {
    return;
  }
  // A `configure` on another thread may have begun opening a window since the look above: the
  // reference goes back, to be given back by a later call.
  if (anyWindowOpenOrOpening()) {
    holdInstead(library);
    return;
  }
  FreeLibrary(library);
}

void configure(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  // Another `configure` is opening the window right now.
  if (windowBeingOpened.exchange(true)) {
    return;
  }
  if (!isSettingsWindow(recordedWindow())) {
    openSettingsWindow(module);
  }
  windowBeingOpened.store(false);
}

void showSettingsInEveryWindow() {
  showSettingsInOtherWindows(nullptr);
}

INT_PTR CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return onInitDialog(window, lParam);
    case WM_COMMAND:
      return onCommand(window, reinterpret_cast<HWND>(lParam));
    case WM_VSCROLL:
      return onVScroll(window, reinterpret_cast<HWND>(lParam), LOWORD(wParam));
    case showSettingsMessage:
      showSettings(window);
      return TRUE;
    default:
      return FALSE;
  }
}

void updateLabels(HWND window) {
  // Far more than the longest label any 32-bit setting makes ("Amount:\n-838860800%", 20 with
  // its terminator): wsprintfA is given no size, so the buffer must outsize every text.
  char text[124];
  wsprintfA(text, "Amount:\n%d%%", percentOf(effectState.amount.load(std::memory_order_relaxed)));
  SetDlgItemTextA(window, AMOUNT_LABEL_ID, text);
  wsprintfA(text, "Speed:\n%d%%", percentOf(effectState.speed.load(std::memory_order_relaxed)));
  SetDlgItemTextA(window, SPEED_LABEL_ID, text);
}
