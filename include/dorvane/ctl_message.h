// ctlMessage: the control. Its members hold the whole working state of a
// merge; its entry methods run the merge passes in their fixed order.
//
//   ocxKiv     the worksheet merge on the running spreadsheet application
//   ocxwebKiv  the page merge from a page file to a result file
//
// Every member of the table below is readable and writable by the host
// through a property pair (get_/put_, or get_/putref_ for objects). Object
// members are counted references that start null; assigning one releases
// the object it held. A ctlMessage belongs to the thread that created it.
#pragma once

#include <dorvane/engine.h>
#include <dorvane/message_box.h>
#include <dorvane/object.h>
#include <dorvane/observer.h>
#include <dorvane/sheet.h>
#include <dorvane/variant.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

class ctlMessage {
 public:
  ctlMessage();
  ~ctlMessage();
  ctlMessage(const ctlMessage&) = delete;
  ctlMessage& operator=(const ctlMessage&) = delete;

  // ---- methods ----------------------------------------------------------
  // Expands the detail placeholders of the worksheet from the cell c on.
  void 明細型();
  // The worksheet merge: primary pass 1, secondary pass 1, primary pass 2,
  // secondary pass 2 (secondary runs only when kivdb2loc is not ""). Returns Empty.
  Variant ocxKiv(const std::u16string& kivdbloc, const std::u16string& kivdb2loc);
  // The page merge: loads readFile into text, runs the four passes, saves
  // text to saveFile. Returns Empty; failures are recorded in failures().
  Variant ocxwebKiv(const std::u16string& readFile, const std::u16string& saveFile,
                    const std::u16string& kivdbloc, const std::u16string& kivdb2loc);
  // The page merge of ocxwebKiv on a page held in memory, for hosts that are
  // handed the page rather than a file: page (bytes in the code page) is
  // decoded into text, the four passes run, and *result gets the bytes the
  // result file would hold. Returns Empty; failures are recorded in
  // failures() with the steps "load" and "save" for the page's own.
  Variant ocxwebKivBytes(std::string_view page, std::string* result, const std::u16string& kivdbloc,
                         const std::u16string& kivdb2loc);
  // Expands the detail placeholders of text from HitStr on into HTML tables.
  void WEB明細型();

  // ---- property pairs ---------------------------------------------------
#define DORVANE_OBJECT_MEMBER(T, name)                   \
  std::shared_ptr<T> get_##name() const { return name; } \
  void putref_##name(std::shared_ptr<T> v) { name = std::move(v); }
#define DORVANE_VALUE_MEMBER(T, name)   \
  T get_##name() const { return name; } \
  void put_##name(T v) { name = std::move(v); }

  DORVANE_OBJECT_MEMBER(sheet::Range, c)
  DORVANE_OBJECT_MEMBER(Object, kivdbtbl)
  DORVANE_OBJECT_MEMBER(Object, kivdbdetail)
  DORVANE_OBJECT_MEMBER(sheet::Application, objExcel)
  DORVANE_OBJECT_MEMBER(sheet::Workbook, objWorkbook)
  DORVANE_OBJECT_MEMBER(sheet::Worksheet, objWorksheet)
  DORVANE_OBJECT_MEMBER(Database, kivdb)
  DORVANE_OBJECT_MEMBER(Database, DB)
  DORVANE_OBJECT_MEMBER(Recordset, kivrs)
  DORVANE_OBJECT_MEMBER(Recordset, kivrs2)
  DORVANE_OBJECT_MEMBER(Recordset, rs)
  DORVANE_VALUE_MEMBER(std::int16_t, wkcycle)
  DORVANE_VALUE_MEMBER(std::u16string, text)
  DORVANE_VALUE_MEMBER(std::int32_t, HitStr)
  DORVANE_VALUE_MEMBER(std::u16string, textWeb)
  DORVANE_VALUE_MEMBER(std::u16string, textWebbefore)
#undef DORVANE_OBJECT_MEMBER
#undef DORVANE_VALUE_MEMBER

  // ---- host services (not members of the control's interface) -----------
  // The box the passes show "error" in; the console box by default.
  void setMessageBox(std::shared_ptr<MessageBox> box);
  // Hears what the merges do; may be null. Not owned.
  void setObserver(MergeObserver* observer) { observer_ = observer; }
  // The code page of page files (932 by default).
  void setCodePage(int codePage) { codePage_ = codePage; }
  int codePage() const { return codePage_; }
  // Whether textWeb keeps the table of the last detail hit after WEB明細型
  // (on by default, as a host may read it). A host that never reads textWeb
  // turns it off: a table of tens of megabytes is then moved into the page
  // piece by piece, never held whole twice, and textWeb stays empty.
  void setKeepTextWeb(bool keep) { keepTextWeb_ = keep; }

  // What failed during the last entry call, in order: the step ("load",
  // "save", "pass 1 on <db>", ...), the run-time error number and its
  // description. Empty when everything succeeded.
  struct Failure {
    std::string step;
    int number = 0;
    std::string description;
  };
  const std::vector<Failure>& failures() const { return failures_; }

 private:
  void mergeSheet();
  void mergeWeb();
  // ocxwebKiv's steps: load() fills text, the four passes, save() writes it;
  // loadStep and saveStep name the first and last step in failures().
  void mergePage(const std::string& loadStep, const std::function<void()>& load,
                 const std::string& saveStep, const std::function<void()>& save,
                 const std::u16string& kivdbloc, const std::u16string& kivdb2loc);
  // Records a failure and tells the observer.
  void recordFailure(std::string step, int number, std::string description);
  // Shows "error" with reason, sets objExcel to null: a pass's error handler.
  void passFailed(const std::string& reason);

  // Members of the control, in their declared order.
  std::shared_ptr<sheet::Range> c;
  std::shared_ptr<Object> kivdbtbl;
  std::shared_ptr<Object> kivdbdetail;
  std::shared_ptr<sheet::Application> objExcel;
  std::shared_ptr<sheet::Workbook> objWorkbook;
  std::shared_ptr<sheet::Worksheet> objWorksheet;
  std::shared_ptr<Database> kivdb;
  std::shared_ptr<Database> DB;
  std::shared_ptr<Recordset> kivrs;
  std::shared_ptr<Recordset> kivrs2;
  std::shared_ptr<Recordset> rs;
  std::int16_t wkcycle = 0;
  std::u16string text;
  std::int32_t HitStr = 0;
  std::u16string textWeb;
  std::u16string textWebbefore;

  // The path of the database the next merge pass opens.
  std::u16string curdbloc;

  std::shared_ptr<MessageBox> messageBox_;
  MergeObserver* observer_ = nullptr;
  int codePage_ = 932;
  bool keepTextWeb_ = true;
  std::vector<Failure> failures_;
};

}  // namespace dorvane
