#pragma once

// For the test programs that run another program, given as the rest of their own command line.

#include <windows.h>

#include <cstring>
#include <string>

// The command line after the program's own name, which may be quoted.
inline std::string argumentsAfterProgramName(const char* commandLine) {
  const char* rest = commandLine;
  if (*rest == '"') {
    rest = std::strchr(rest + 1, '"');
    rest = rest ? rest + 1 : "";
  } else {
    rest += std::strcspn(rest, " \t");
  }
  return rest + std::strspn(rest, " \t");
}

// Starts the rest of this program's command line as it arrived here; false when there is none or
// it cannot be started.
inline bool startRestOfCommandLine(PROCESS_INFORMATION& process) {
  std::string commandLine = argumentsAfterProgramName(GetCommandLineA());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  process = {};
  return !commandLine.empty() && CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr,
                                                FALSE, 0, nullptr, nullptr, &startup, &process);
}

// The exit code of a process that has ended (103 if it cannot be had); closes its handles.
inline int exitCodeOf(PROCESS_INFORMATION& process) {
  DWORD exitCode = 103;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}
