// hold_file FILE PROGRAM [ARGUMENTS...]
// Runs PROGRAM while FILE is held as another program would hold it: a library (a name ending in
// .dll) loaded, as a second host of plug-ins loads it; any other file open with only reading
// shared. It holds FILE until PROGRAM and every program PROGRAM started have ended (an
// uninstaller run as Windows' list of programs runs it starts a copy of itself and returns), and
// exits with PROGRAM's exit code; 101 when FILE cannot be held, 102 when PROGRAM cannot be
// started.

#include <windows.h>

#include <cstring>
#include <string>

#include "tests/release/rest_of_command_line.h"

namespace {

constexpr DWORD pollMs = 100;
constexpr const char* libraryEnding = ".dll";

bool isLibrary(const std::string& path) {
  const std::size_t length = std::strlen(libraryEnding);
  return path.size() > length && lstrcmpiA(path.c_str() + path.size() - length, libraryEnding) == 0;
}

// Holds `path` until this program ends; false when it cannot.
bool hold(const std::string& path) {
  if (isLibrary(path)) {
    return LoadLibraryA(path.c_str()) != nullptr;
  }
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                     nullptr) != INVALID_HANDLE_VALUE;
}

// Returns once no process is left in `job`.
void waitUntilEmpty(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
  while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr) &&
         accounting.ActiveProcesses > 0) {
    Sleep(pollMs);
  }
}

}  // namespace

int main() {
  std::string commandLine = restOfCommandLine();
  const std::string file = takeFirstArgument(commandLine);
  if (file.empty() || !hold(file)) {
    return 101;
  }
  // PROGRAM joins the job before it runs, and the programs it starts join it with it.
  const HANDLE job = CreateJobObjectA(nullptr, nullptr);
  PROCESS_INFORMATION process;
  if (!job || !startProgram(commandLine, process, CREATE_SUSPENDED)) {
    return 102;
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    TerminateProcess(process.hProcess, 102);
    exitCodeOf(process);
    return 102;
  }
  ResumeThread(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  const int exitCode = exitCodeOf(process);
  waitUntilEmpty(job);
  return exitCode;
}
