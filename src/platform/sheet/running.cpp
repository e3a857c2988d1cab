// The running spreadsheet application: the calling thread's, one a host
// registered, or else the system's (system_application.h).
#include <dorvane/sheet.h>

#include <mutex>

#include "platform/sheet/system_application.h"

namespace dorvane::sheet {

namespace {

std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<Application>& registered() {
  static std::shared_ptr<Application> app;
  return app;
}

thread_local std::shared_ptr<Application> onThisThread;

}  // namespace

RunningOnThisThread::RunningOnThisThread(std::shared_ptr<Application> app)
    : previous_(std::move(onThisThread)) {
  onThisThread = std::move(app);
}

RunningOnThisThread::~RunningOnThisThread() { onThisThread = std::move(previous_); }

std::shared_ptr<Application> attachRunning() {
  if (onThisThread) return onThisThread;
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    if (registered()) return registered();
  }
  return attachSystemApplication();
}

void registerRunning(std::shared_ptr<Application> app) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registered() = std::move(app);
}

}  // namespace dorvane::sheet
