// The control's worksheet members as plain objects, so the worksheet
// algorithms can run alone against the test database and an in-process sheet.
#pragma once

#include <dorvane/engine.h>
#include <dorvane/observer.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/text/utf.h"
#include "worksheet/sheet_fixture.h"
#include "worksheet/sheet_members.h"

namespace dorvane::testing {

// Keeps what a merge tells its observer.
class RecordingObserver : public MergeObserver {
 public:
  void passStarted(const std::u16string& path, int wkcycle) override {
    passes.push_back(text::toUtf8(path) + " " + std::to_string(wkcycle));
  }
  void sqlRun(const std::u16string& sql) override { sql_.push_back(text::toUtf8(sql)); }
  void failed(std::string_view step, int number, std::string_view) override {
    failures.push_back(std::string(step) + " " + std::to_string(number));
  }
  std::vector<std::string> passes, sql_, failures;
};

// The shared reference database of a test suite.
class SheetDatabase {
 public:
  SheetDatabase() : path_(dir_.file("kiv.sqlite")) { buildSheetDatabase(path_); }
  const std::string& path() const { return path_; }
  std::u16string path16() const { return text::fromUtf8(path_); }

 private:
  TempDir dir_;
  std::string path_;
};

struct SheetState {
  std::shared_ptr<sheet::Range> c;
  std::shared_ptr<sheet::Application> objExcel;
  std::shared_ptr<sheet::Workbook> objWorkbook;
  std::shared_ptr<sheet::Worksheet> objWorksheet;
  std::shared_ptr<Database> kivdb, DB;
  std::shared_ptr<Recordset> kivrs, kivrs2, rs;
  std::u16string curdbloc;
  RecordingObserver observer;

  worksheet::SheetMembers members(int wkcycle) {
    return {c,        objExcel, objWorkbook, objWorksheet, kivdb,
            DB,       kivrs,    kivrs2,      rs,           static_cast<std::int16_t>(wkcycle),
            curdbloc, &observer};
  }
};

inline std::string utf8(const Variant& v) {
  if (v.isEmpty()) return "";
  if (v.isString()) return text::toUtf8(v.asString());
  return text::toUtf8(toText(v));
}

}  // namespace dorvane::testing
