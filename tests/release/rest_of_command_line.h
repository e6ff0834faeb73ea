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

// Takes the first argument off the front of `commandLine` (in double quotes, or up to the first
// blank), and the blanks after it; returns it without its quotes.
inline std::string takeFirstArgument(std::string& commandLine) {
  std::size_t end;
  std::string argument;
  if (commandLine.rfind('"', 0) == 0) {
    end = commandLine.find('"', 1);
    argument = commandLine.substr(1, end == std::string::npos ? end : end - 1);
    end = end == std::string::npos ? end : end + 1;
  } else {
    end = commandLine.find_first_of(" \t");
    argument = commandLine.substr(0, end);
  }
  commandLine.erase(0, end);
  commandLine.erase(0, commandLine.find_first_not_of(" \t"));
  return argument;
}

// Starts `commandLine` with CreateProcess's `flags`; false when it is empty or cannot be started.
inline bool startProgram(std::string commandLine, PROCESS_INFORMATION& process, DWORD flags = 0) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  process = {};
  return !commandLine.empty() && CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr,
                                                FALSE, flags, nullptr, nullptr, &startup, &process);
}

// The exit code of a process that has ended (103 if it cannot be had); closes its handles.
inline int exitCodeOf(PROCESS_INFORMATION& process) {
  DWORD exitCode = 103;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}
