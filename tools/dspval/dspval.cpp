// dspval: puts a DSP plug-in DLL through random sessions of a hostile player, for a given time or
// number of sessions, and prints one summary line. A failure also prints what went wrong and the
// command that replays the failing session from its random-number seed.
//
// Usage: dspval [--seconds S | --sessions N] [--seed=N] [--cycles N] [DLL]
//   DLL defaults to dsp_crackleton.dll beside this program; --cycles (default 1,000) load/free
//   cycles check that handles and committed memory stay flat; 0 skips them.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "plugin/names.h"
#include "tools/dspval/session.h"
#include "tools/player_host/host_files.h"
#include "tools/player_host/player_host.h"

namespace {

constexpr const char* usage =
    "usage: dspval [--seconds S | --sessions N] [--seed=N] [--cycles N] [DLL]";
// Growth over the load/free cycles that counts as a leak: one handle or a few bytes kept per
// cycle would pass these many times over.
constexpr long largestHandleGrowth = 8;
constexpr long long largestMemoryGrowth = 256 << 10;

struct Options {
  double seconds = 5;
  long sessions = 0;  // 0: as many as fit in `seconds`
  std::uint32_t randomStart = 0;
  bool randomStartGiven = false;
  long cycles = 1000;
  std::wstring dll;
};

bool parseOptions(int argumentCount, wchar_t** arguments, Options& options) {
  for (int iArgument = 1; iArgument < argumentCount; ++iArgument) {
    const std::wstring argument = arguments[iArgument];
    const bool hasValue = iArgument + 1 < argumentCount;
    if (argument == L"--seconds" && hasValue) {
      options.seconds = std::wcstod(arguments[++iArgument], nullptr);
    } else if (argument == L"--sessions" && hasValue) {
      options.sessions = std::wcstol(arguments[++iArgument], nullptr, 10);
    } else if (argument == L"--cycles" && hasValue) {
      options.cycles = std::wcstol(arguments[++iArgument], nullptr, 10);
    } else if (argument.rfind(L"--seed=", 0) == 0) {
      options.randomStart =
          static_cast<std::uint32_t>(std::wcstoul(argument.c_str() + 7, nullptr, 10));
      options.randomStartGiven = true;
    } else if (argument.rfind(L"--", 0) != 0 && options.dll.empty()) {
      options.dll = argument;
    } else {
      return false;
    }
  }
  if (options.dll.empty()) {
    options.dll = besideThisProgram(widenedText(libraryFileName).c_str());
  }
  return true;
}

// Which session runs now, for the crash report.
std::uint32_t currentRandomStart = 0;
long currentSession = 0;

void printReplay(std::uint32_t randomStart) {
  std::printf("dspval: replay it with: dspval --seed=%lu --sessions 1 --cycles 0\n",
              static_cast<unsigned long>(randomStart));
}

// The process must stay alive: a crash anywhere, the plug-in's window procedure included (where
// 64-bit Windows would swallow it), ends the run at once with the session that caused it.
LONG CALLBACK reportCrash(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (isCrash(record.ExceptionCode)) {
    std::printf(
        "dspval: FAILED: the host crashed (exception %08lx at %p) in session %ld (random-number "
        "seed %lu)\n",
        record.ExceptionCode, record.ExceptionAddress, currentSession,
        static_cast<unsigned long>(currentRandomStart));
    printReplay(currentRandomStart);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// Private memory committed anywhere in the process, found by walking the address space: the
// system's own counters are not kept by every implementation (Wine reports none).
long long committedBytes() {
  long long committed = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      committed += static_cast<long long>(region.RegionSize);
    }
  }
  return committed;
}

// The handle a new object gets: handle tables hand out the lowest free slot, so handles left
// open push it up. (GetProcessHandleCount is not kept by every implementation either.)
long handleCount() {
  HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(probe);
  return static_cast<long>(reinterpret_cast<std::uintptr_t>(probe) / 4);
}

struct CycleFigures {
  long handles = 0;
  long handleGrowth = 0;
  long long memory = 0;
  long long memoryGrowth = 0;
  double seconds = 0;
};

// Load, perhaps start and end the module and mix a block, free: the library must leave nothing
// behind, however often the player does it.
bool loadCyclesStayFlat(const std::wstring& builtDll, long cycles, std::mt19937& random,
                        CycleFigures& figures, std::string& failure) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"dspval-cycles-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring dll = folder + L"\\" + widenedText(libraryFileName);
  if (!layOutLibraryFolder(folder, builtDll, dll, failure)) {
    return false;
  }
  const HWND playerWindow = createPlayerWindow();

  auto cycle = [&] {
    PlayerPlugin plugin;
    if (!loadPlugin(dll, 0, playerWindow, plugin, failure)) {
      return false;
    }
    std::int16_t block[2 * 576] = {};
    switch (random() % 4) {
      case 1:
        plugin.module->initialise(plugin.module);
        break;
      case 2:
        plugin.module->initialise(plugin.module);
        plugin.module->process(plugin.module, block, 576, 16, 2, 44100);
        plugin.module->quit(plugin.module);
        break;
      case 3:
        plugin.module->quit(plugin.module);
        break;
    }
    freePlugin(plugin);
    return true;
  };
  // The first cycles settle what the system caches once (the profile file, the loader's tables).
  bool loaded = true;
  for (int iCycle = 0; iCycle < 50 && loaded; ++iCycle) {
    loaded = cycle();
  }
  const long handlesBefore = handleCount();
  const long long memoryBefore = committedBytes();
  for (long iCycle = 0; iCycle < cycles && loaded; ++iCycle) {
    loaded = cycle();
  }
  figures.handles = handleCount();
  figures.handleGrowth = figures.handles - handlesBefore;
  figures.memory = committedBytes();
  figures.memoryGrowth = figures.memory - memoryBefore;
  const bool unloaded = GetModuleHandleW(dll.c_str()) == nullptr;
  DestroyWindow(playerWindow);
  DeleteFileW(dll.c_str());
  DeleteFileW((folder + L"\\plugin.ini").c_str());
  RemoveDirectoryW(folder.c_str());

  if (!loaded) {
    return false;
  }
  if (!unloaded) {
    failure = "the library stayed loaded after the load/free cycles";
  } else if (figures.handleGrowth > largestHandleGrowth) {
    failure = "the next free handle moved up by " + std::to_string(figures.handleGrowth) +
              " over " + std::to_string(cycles) + " load/free cycles";
  } else if (figures.memoryGrowth > largestMemoryGrowth) {
    failure = "committed memory grew by " + std::to_string(figures.memoryGrowth / 1024) +
              " KiB over " + std::to_string(cycles) + " load/free cycles";
  }
  return failure.empty();
}

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  Options options;
  if (!parseOptions(argumentCount, arguments, options)) {
    std::fprintf(stderr, "%s\n", usage);
    return 2;
  }
  if (!options.randomStartGiven) {
    options.randomStart = std::random_device{}();
  }
  AddVectoredExceptionHandler(1, reportCrash);
  // The whole run is one player's process; it never shows a system error box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

  const auto started = std::chrono::steady_clock::now();
  auto elapsedSeconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };

  std::mt19937 cycleRandom(options.randomStart);
  CycleFigures cycleFigures;
  std::string cycleFailure;
  if (options.cycles > 0 &&
      !loadCyclesStayFlat(options.dll, options.cycles, cycleRandom, cycleFigures, cycleFailure)) {
    std::printf("dspval: FAILED: %s (random-number seed %lu)\n", cycleFailure.c_str(),
                static_cast<unsigned long>(options.randomStart));
    return 1;
  }
  cycleFigures.seconds = elapsedSeconds();
  // The sessions get their whole time, however long the cycles took.
  const double sessionsStart = elapsedSeconds();

  SessionTotals totals;
  std::vector<std::string> failures;
  for (currentSession = 1;; ++currentSession) {
    if (options.sessions > 0
            ? currentSession > options.sessions
            : currentSession > 1 && elapsedSeconds() - sessionsStart >= options.seconds) {
      break;
    }
    currentRandomStart = options.randomStart + static_cast<std::uint32_t>(currentSession - 1);
    failures = runSession(options.dll, currentRandomStart, totals);
    if (!failures.empty()) {
      break;
    }
  }

  std::string cycles;
  if (options.cycles > 0) {
    char figures[160];
    std::snprintf(
        figures, sizeof figures,
        "; %ld load/free cycles in %.1f s: next handle %ld (%+ld), committed memory %lld KiB "
        "(%+lld KiB)",
        options.cycles, cycleFigures.seconds, cycleFigures.handles, cycleFigures.handleGrowth,
        cycleFigures.memory / 1024, cycleFigures.memoryGrowth / 1024);
    cycles = figures;
  }
  std::printf(
      "dspval: %llu sessions in %.1f s (random-number seed %lu): %llu host calls, %llu settings "
      "windows, %llu OK presses, %llu blocks, %.1f million values%s: %s\n",
      static_cast<unsigned long long>(totals.sessions), elapsedSeconds() - sessionsStart,
      static_cast<unsigned long>(options.randomStart),
      static_cast<unsigned long long>(totals.hostCalls),
      static_cast<unsigned long long>(totals.windows),
      static_cast<unsigned long long>(totals.okPresses),
      static_cast<unsigned long long>(totals.blocks), totals.values / 1e6, cycles.c_str(),
      failures.empty() ? "all held" : "FAILED");
  if (failures.empty()) {
    return 0;
  }
  for (const std::string& failure : failures) {
    std::printf("dspval: session %ld: %s\n", currentSession, failure.c_str());
  }
  printReplay(currentRandomStart);
  return 1;
}
