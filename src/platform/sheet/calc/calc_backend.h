// The Calc backend as the rest of the system reaches it: a narrow interface,
// free of UNO types, that the module dorvane-calc.so implements. The module
// is loaded the first time a merge needs Calc, so that a program starts
// without LibreOffice's libraries and pays for them only on a Calc path.
//
// The module holds its own copy of the system below the hosts: what crosses
// this interface is plain C++ (strings, the sheet interfaces of
// <dorvane/sheet.h>, RuntimeError), and the module is never unloaded, so the
// objects it hands out stay valid for the life of the process.
#pragma once

#include <dorvane/sheet.h>

#include <memory>
#include <optional>
#include <string>

namespace dorvane::sheet::calc {

// A private LibreOffice Calc (see CalcProcess, which implements it).
class PrivateCalc {
 public:
  virtual ~PrivateCalc() = default;
  // The UNO connection of this Calc ("pipe,name=..."), for attach.
  virtual const std::string& address() const = 0;
  // Loads a private copy of the workbook at path hidden, in place of the
  // document loaded before. Raises 3024 or 1004.
  virtual void load(const std::string& path) = 0;
  // Closes the loaded document without saving it. Never raises.
  virtual void closeDocument() = 0;
  // Stores the loaded workbook, in the format the extension of path names,
  // into the Calc's own folder and returns that file; the caller puts it in
  // place (saveAs below). Raises 1004, or 91 with no workbook loaded.
  virtual std::string store(const std::string& path) = 0;
  // Ends Calc and removes its folder. Never raises; safe to call twice.
  virtual void stop() = 0;
  // Why this Calc can serve no more, or nothing while it answers.
  virtual std::optional<std::string> lost() = 0;
};

// What the module gives: the entry points of the backend.
class Backend {
 public:
  // The spreadsheet application of the Calc listening at address; never
  // starts one. Raises 429 when none listens there.
  virtual std::shared_ptr<Application> attach(const std::string& address) = 0;
  // Starts a private Calc. Raises 429 when it cannot be started.
  virtual std::unique_ptr<PrivateCalc> start() = 0;
  // For signal handlers: kills every private Calc at once (async-signal-safe).
  virtual void killAllFromSignal() = 0;

 protected:
  ~Backend() = default;
};

// The backend: one a host linked in (useBackend), else the module
// dorvane-calc.so, loaded on the first call from beside the file that holds
// this code (the program, Dorvane.ocx, the service module) or from the
// installed tree's LIBDIR/dorvane. Raises 429 when this build has no Calc
// support or the module cannot be loaded (with the loader's reason).
// Thread-safe.
Backend& backend();

// Makes backend() answer b, for a host that has the Calc code linked in (the
// office extension, which runs inside LibreOffice). b outlives the process.
void useBackend(Backend& b);

// For signal handlers: kills every private Calc the backend started, if it
// was loaded at all (async-signal-safe).
void killPrivateCalcsFromSignal();

// The export filter of Calc for the extension of path (.xlsx, .ods, .xls,
// in any case), or null when Calc cannot save such a file.
const char* exportFilterFor(const std::string& path);

// Saves the workbook loaded in calc as path: stored by Calc, then put in
// place by the rules of platform/file/result_file.h. Raises what store and
// the result file raise.
void saveAs(PrivateCalc& calc, const std::string& path);

}  // namespace dorvane::sheet::calc

// The module's one exported symbol: its backend, made on the first call.
extern "C" dorvane::sheet::calc::Backend* dorvane_calc_backend();
