// The working state the worksheet merge reads and writes: references to the
// members of the control, so the algorithms can run (and be tested) as free
// functions while the control keeps owning every object.
#pragma once

#include <dorvane/engine.h>
#include <dorvane/observer.h>
#include <dorvane/sheet.h>

#include <cstdint>
#include <memory>
#include <string>

namespace dorvane::worksheet {

struct SheetMembers {
  std::shared_ptr<sheet::Range>& c;
  std::shared_ptr<sheet::Application>& objExcel;
  std::shared_ptr<sheet::Workbook>& objWorkbook;
  std::shared_ptr<sheet::Worksheet>& objWorksheet;
  std::shared_ptr<Database>& kivdb;
  std::shared_ptr<Database>& DB;
  std::shared_ptr<Recordset>& kivrs;
  std::shared_ptr<Recordset>& kivrs2;
  std::shared_ptr<Recordset>& rs;
  std::int16_t wkcycle;
  const std::u16string& curdbloc;
  MergeObserver* observer;  // may be null
};

}  // namespace dorvane::worksheet
