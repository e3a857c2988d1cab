// The running spreadsheet application: one a host registered, or else the
// LibreOffice Calc listening at the address of DORVANE_CALC.
#include <dorvane/sheet.h>

#include <mutex>

#include "platform/sheet/calc/calc_backend.h"
#include "platform/sheet/calc/calc_sheet.h"

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
  return calc::backend().attach(calc::addressFromEnvironment());
}

void registerRunning(std::shared_ptr<Application> app) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registered() = std::move(app);
}

}  // namespace dorvane::sheet
