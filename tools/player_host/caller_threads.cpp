#include "tools/player_host/caller_threads.h"

#include "tools/player_host/player_host.h"

CallerThreads::CallerThreads(EffectModule* module,
                             const std::vector<std::vector<HostCall>>& callLists,
                             const std::function<void()>& meanwhile)
    : module_(module),
      start_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  for (const std::vector<HostCall>& calls : callLists) {
    callers_.push_back({this, calls});
  }
  for (Caller& caller : callers_) {
    threads_.push_back(CreateThread(nullptr, 0, callInAndServe, &caller, 0, nullptr));
  }
  SetEvent(start_);
  if (meanwhile) {
    meanwhile();
  }
  while (called_.load() < static_cast<int>(callers_.size())) {
    Sleep(1);
  }
}

CallerThreads::~CallerThreads() {
  SetEvent(stop_);
  WaitForMultipleObjects(static_cast<DWORD>(threads_.size()), threads_.data(), TRUE, INFINITE);
  for (HANDLE thread : threads_) {
    CloseHandle(thread);
  }
  CloseHandle(start_);
  CloseHandle(stop_);
}

DWORD WINAPI CallerThreads::callInAndServe(void* context) {
  const Caller& caller = *static_cast<const Caller*>(context);
  CallerThreads& threads = *caller.threads;
  EffectModule* module = threads.module_;
  WaitForSingleObject(threads.start_, INFINITE);
  for (HostCall call : caller.calls) {
    switch (call) {
      case HostCall::configure:
        module->configure(module);
        break;
      case HostCall::initialise:
        module->initialise(module);
        break;
      case HostCall::quit:
        module->quit(module);
        break;
    }
  }
  ++threads.called_;
  while (MsgWaitForMultipleObjects(1, &threads.stop_, FALSE, INFINITE, QS_ALLINPUT) !=
         WAIT_OBJECT_0) {
    pumpMessages();
  }
  return 0;
}
