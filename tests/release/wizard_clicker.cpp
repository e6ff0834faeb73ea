// wizard_clicker PROGRAM [ARGUMENTS...]
// Runs PROGRAM, an installer, as a user who takes every page as it comes: once a new page is up
// and its default button (Next, I Agree, Install, Finish) can be pressed, prints "page N" and
// the page's check boxes, one a line, "[x] TEXT" or "[ ] TEXT", and presses the button. Exits
// with PROGRAM's exit code; 101 when PROGRAM could not be started, 102 when no page could be
// pressed for a minute (a message box waiting, say), after ending PROGRAM.
// wizard_clicker --stop-at-check-boxes PROGRAM [ARGUMENTS...]
// The same up to the first page with check boxes, which it leaves open: it prints the window's
// screen rectangle, "x y width height", and waits for PROGRAM to end (for scripts/screenshot).
// wizard_clicker --player-at-check-boxes=close|keep PROGRAM [ARGUMENTS...]
// The same as the first, but on the page with check boxes it opens a window of the player's
// class before pressing the button, as a user who starts the player while that page is up. Each
// message box PROGRAM shows from then on is printed, "message: TEXT", and answered: "close"
// closes the player's window first and presses Retry; "keep" leaves it open and presses Cancel;
// either presses OK in a box without that button. Exits with 100 for another word than these.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/release/rest_of_command_line.h"
#include "tools/player_host/player_host.h"

namespace {

constexpr int defaultButton = 1;
constexpr DWORD pollMs = 100;
// Time for a page that has just appeared to be the page: the installer may move on by itself.
constexpr DWORD settleMs = 500;
constexpr DWORD pageTimeoutMs = 60000;
constexpr int timedOut = 102;
constexpr const char* stopOption = "--stop-at-check-boxes";
constexpr const char* playerOption = "--player-at-check-boxes=";
constexpr const char* playerWindowClass = "Winamp v1.x";
// A message box's text control.
constexpr int messageTextId = 0xFFFF;

bool hasClass(HWND window, const char* className) {
  char actual[32] = "";
  GetClassNameA(window, actual, sizeof actual);
  return std::strcmp(actual, className) == 0;
}

// The visible page inside `window`, or null: a dialog that holds a dialog. A message box holds
// none.
HWND visiblePage(HWND window) {
  for (HWND child = FindWindowExA(window, nullptr, "#32770", nullptr); child;
       child = FindWindowExA(window, child, "#32770", nullptr)) {
    if (IsWindowVisible(child)) {
      return child;
    }
  }
  return nullptr;
}

struct Wizard {
  DWORD processId;
  HWND window = nullptr;
  HWND page = nullptr;
};

BOOL CALLBACK takeWizardWindow(HWND window, LPARAM data) {
  Wizard& wizard = *reinterpret_cast<Wizard*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != wizard.processId || !IsWindowVisible(window) || !hasClass(window, "#32770")) {
    return TRUE;
  }
  wizard.page = visiblePage(window);
  wizard.window = wizard.page ? window : nullptr;
  return wizard.page == nullptr;
}

// Finds the installer's window and its current page, if both are up.
Wizard findWizard(DWORD processId) {
  Wizard wizard{processId};
  EnumWindows(takeWizardWindow, reinterpret_cast<LPARAM>(&wizard));
  return wizard;
}

// The button to press on the page in `wizard`, when it can be pressed.
HWND pressableButton(const Wizard& wizard) {
  if (!wizard.window || !IsWindowEnabled(wizard.window)) {
    return nullptr;
  }
  const HWND button = GetDlgItem(wizard.window, defaultButton);
  return button && IsWindowVisible(button) && IsWindowEnabled(button) ? button : nullptr;
}

// Prints `control` if it is a check box that shows, and counts it in the int at `count`.
BOOL CALLBACK printIfCheckBox(HWND control, LPARAM count) {
  const LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  if (IsWindowVisible(control) && hasClass(control, "Button") &&
      (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX)) {
    char text[256] = "";
    GetWindowTextA(control, text, sizeof text);
    const bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    std::printf("[%c] %s\n", checked ? 'x' : ' ', text);
    ++*reinterpret_cast<int*>(count);
  }
  return TRUE;
}

struct MessageBoxSearch {
  DWORD processId;
  HWND wizardWindow;
  HWND box = nullptr;
};

BOOL CALLBACK takeMessageBox(HWND window, LPARAM data) {
  MessageBoxSearch& search = *reinterpret_cast<MessageBoxSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search.processId && window != search.wizardWindow && IsWindowVisible(window) &&
      hasClass(window, "#32770") && GetDlgItem(window, messageTextId)) {
    search.box = window;
    return FALSE;
  }
  return TRUE;
}

// A message box of the process's, other than its wizard window, or null.
HWND findMessageBox(DWORD processId, HWND wizardWindow) {
  MessageBoxSearch search{processId, wizardWindow};
  EnumWindows(takeMessageBox, reinterpret_cast<LPARAM>(&search));
  return search.box;
}

// Prints the message box's text on one line and presses `button`, or OK where it has none.
void answerMessageBox(HWND box, int button) {
  char text[1024] = "";
  GetDlgItemTextA(box, messageTextId, text, sizeof text);
  for (char* c = text; *c; ++c) {
    if (*c == '\r' || *c == '\n') {
      *c = ' ';
    }
  }
  std::printf("message: %s\n", text);
  std::fflush(stdout);
  if (!GetDlgItem(box, button)) {
    button = IDOK;
  }
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

// Waits up to `ms` for the process to end, serving this thread's windows meanwhile (a program
// that sends the player's window a message, or broadcasts one, would otherwise hang); true when
// it has ended.
bool ended(HANDLE process, DWORD ms) {
  const bool done = MsgWaitForMultipleObjects(1, &process, FALSE, ms, QS_ALLINPUT) == WAIT_OBJECT_0;
  pumpMessages();
  return done;
}

}  // namespace

int main() {
  std::string commandLine = restOfCommandLine();
  const bool stopAtCheckBoxes = commandLine.rfind(stopOption, 0) == 0;
  const bool playerAtCheckBoxes = commandLine.rfind(playerOption, 0) == 0;
  bool closePlayer = false;
  if (stopAtCheckBoxes || playerAtCheckBoxes) {
    const std::string option = takeFirstArgument(commandLine);
    closePlayer = option == std::string(playerOption) + "close";
    if (playerAtCheckBoxes && !closePlayer && option != std::string(playerOption) + "keep") {
      std::printf("unknown option %s\n", option.c_str());
      return 100;
    }
  }
  PROCESS_INFORMATION process;
  if (!startProgram(commandLine, process)) {
    return 101;
  }
  HWND pressedPage = nullptr;
  HWND wizardWindow = nullptr;
  HWND playerWindow = nullptr;
  bool playerOpened = false;
  HWND answeredBox = nullptr;
  int pageNumber = 0;
  DWORD waitingSince = GetTickCount();
  while (!ended(process.hProcess, pollMs)) {
    Wizard wizard = findWizard(process.dwProcessId);
    wizardWindow = wizard.window ? wizard.window : wizardWindow;
    const HWND box = playerOpened ? findMessageBox(process.dwProcessId, wizardWindow) : nullptr;
    if (box && box != answeredBox) {
      Sleep(settleMs);
      if (closePlayer && playerWindow) {
        DestroyWindow(playerWindow);
        playerWindow = nullptr;
        std::printf("closed the player's window\n");
      }
      answerMessageBox(box, closePlayer ? IDRETRY : IDCANCEL);
      answeredBox = box;
      waitingSince = GetTickCount();
    } else if (wizard.page && wizard.page != pressedPage && pressableButton(wizard)) {
      Sleep(settleMs);
      const HWND page = wizard.page;
      wizard = findWizard(process.dwProcessId);
      const HWND button = pressableButton(wizard);
      if (wizard.page == page && button) {
        std::printf("page %d\n", ++pageNumber);
        int checkBoxes = 0;
        EnumChildWindows(page, printIfCheckBox, reinterpret_cast<LPARAM>(&checkBoxes));
        if (stopAtCheckBoxes && checkBoxes > 0) {
          RECT rect;
          GetWindowRect(wizard.window, &rect);
          std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                      rect.bottom - rect.top);
          std::fflush(stdout);
          WaitForSingleObject(process.hProcess, INFINITE);
          return exitCodeOf(process);
        }
        if (playerAtCheckBoxes && checkBoxes > 0) {
          playerWindow = createPlayerWindow(playerWindowClass);
          playerOpened = true;
          std::printf("opened the player's window\n");
        }
        std::fflush(stdout);
        // Posted: the press may open a message box, which this loop answers.
        PostMessageA(button, BM_CLICK, 0, 0);
        pressedPage = page;
        waitingSince = GetTickCount();
      }
    } else if (GetTickCount() - waitingSince > pageTimeoutMs) {
      std::printf("no page to press for %lu ms after page %d\n", pageTimeoutMs, pageNumber);
      TerminateProcess(process.hProcess, timedOut);
      WaitForSingleObject(process.hProcess, INFINITE);
      exitCodeOf(process);
      return timedOut;
    }
  }
  return exitCodeOf(process);
}
