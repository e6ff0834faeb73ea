#pragma once

// Hosts that give every request a thread of its own: threads that call into a module all at once,
// each then serving its messages, and so any settings window it opened, until they are ended.

#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

#include "plugin/module.h"

enum class HostCall { configure, initialise, quit };

class CallerThreads {
 public:
  // Starts a thread for each list of calls, releases them together, runs `meanwhile` on this
  // thread, and returns once every thread has made all its calls. This thread serves none of its
  // messages all the while, as a host thread waiting for its callers does.
  CallerThreads(EffectModule* module, const std::vector<std::vector<HostCall>>& callLists,
                const std::function<void()>& meanwhile = {});
  // Ends the threads and waits for them; their windows close with them.
  ~CallerThreads();
  CallerThreads(const CallerThreads&) = delete;
  CallerThreads& operator=(const CallerThreads&) = delete;

 private:
  struct Caller {
    CallerThreads* threads;
    std::vector<HostCall> calls;
  };
  static DWORD WINAPI callInAndServe(void* context);

  EffectModule* module_;
  HANDLE start_;
  HANDLE stop_;
  std::atomic<int> called_{0};
  std::vector<Caller> callers_;
  std::vector<HANDLE> threads_;
};
