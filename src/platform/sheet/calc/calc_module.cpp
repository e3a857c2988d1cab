// The Calc backend over UNO behind the narrow interface of calc_backend.h:
// the entry point of the module dorvane-calc.so, and the same backend for a
// host that links the Calc code in.
#ifdef DORVANE_HAVE_UNO

#include "platform/sheet/calc/calc_module.h"

#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_sheet.h"

namespace dorvane::sheet::calc {

namespace {

class UnoBackend final : public Backend {
 public:
  std::shared_ptr<Application> attach(const std::string& address) override {
    return calc::attach(address);
  }
  std::unique_ptr<PrivateCalc> start() override { return CalcProcess::start(); }
  void killAllFromSignal() override { CalcProcess::killAllFromSignal(); }
};

}  // namespace

Backend& unoBackend() {
  static UnoBackend backend;
  return backend;
}

}  // namespace dorvane::sheet::calc

#endif
