// The members of the control that the page merge reads and writes, handed to
// the page algorithms by reference so that each can be run and tested alone.
#pragma once

#include <dorvane/engine.h>
#include <dorvane/sheet.h>

#include <cstdint>
#include <memory>
#include <string>

namespace dorvane::page {

struct PageMembers {
  std::u16string& text;            // the whole page
  std::int32_t& HitStr;            // position of the placeholder being handled
  std::u16string& textWeb;         // the detail table being built
  std::u16string& textWebbefore;   // the piece last appended to textWeb
  const std::int16_t& wkcycle;     // pass number, 1 or 2
  const std::u16string& curdbloc;  // the database of this run
  std::shared_ptr<Database>& kivdb;
  std::shared_ptr<Recordset>& kivrs;
  std::shared_ptr<Recordset>& kivrs2;
  std::shared_ptr<Database>& DB;
  std::shared_ptr<Recordset>& rs;
  // Whether textWeb keeps the last table for the host to read after the
  // call. A host that never reads it turns this off (see PieceText).
  bool keepTextWeb = true;
};

}  // namespace dorvane::page
