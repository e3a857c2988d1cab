// The running spreadsheet application on Windows: one a host registered.
// This build reaches no other spreadsheet application yet, so without one
// attachRunning raises 429 and each worksheet pass ends with "error".
#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <mutex>

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
  throw RuntimeError(err::kCannotCreateObject,
                     "ActiveX component can't create object: no running spreadsheet application "
                     "(this build of Dorvane reaches none on Windows)");
}

void registerRunning(std::shared_ptr<Application> app) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registered() = std::move(app);
}

}  // namespace dorvane::sheet
