#pragma once

// For the test programs that run another program, given as the rest of their own command line.

#include <windows.h>

#include <cstring>
#include <string>

// The rest of this program's command line after its own name (which may be quoted), as it
// arrived here.
inline std::string restOfCommandLine() {
  const char* rest = GetCommandLineA();
  if (*rest == '"') {
    rest = std::strchr(rest + 1, '"');
    rest = rest ? rest + 1 : "";
  } else {
    rest += std::strcspn(rest, " \t");
  }
  return rest + std::strspn(rest, " \t");
}

// Starts `commandLine`; false when it is empty or cannot be started.
inline bool startProgram(std::string commandLine, PROCESS_INFORMATION& process) {
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
