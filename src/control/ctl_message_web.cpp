// The page merge of the control: ocxwebKiv runs load, four passes and save;
// mergeWeb and WEB明細型 are thin façades over the algorithms in src/page.
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>

#include <new>
#include <stdexcept>

#include "page/page_detail.h"
#include "page/page_file.h"
#include "page/page_pass.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/text/utf.h"

namespace dorvane {

namespace {

// The placeholder at pos (1-based) as the reason of a failure names it: up to
// its ";" and at most 80 characters.
std::string placeholderAt(const std::u16string& text, std::int32_t pos) {
  if (pos < 1 || static_cast<size_t>(pos) > text.size()) return {};
  std::u16string_view rest(text);
  rest.remove_prefix(static_cast<size_t>(pos - 1));
  size_t end = rest.find(u';');
  rest = rest.substr(0, end == std::u16string_view::npos ? rest.size() : end + 1);
  std::string shown = text::toUtf8(rest.substr(0, 80));
  if (rest.size() > 80) shown += "...";
  return shown;
}

}  // namespace

Variant ctlMessage::ocxwebKiv(const std::u16string& readFile, const std::u16string& saveFile,
                              const std::u16string& kivdbloc, const std::u16string& kivdb2loc) {
  mergePage(
      "load " + text::toUtf8(readFile), [&] { text = page::loadPage(readFile, codePage_); },
      "save " + text::toUtf8(saveFile), [&] { page::savePage(saveFile, text, codePage_); },
      kivdbloc, kivdb2loc);
  return Variant();
}

Variant ctlMessage::ocxwebKivBytes(std::string_view page, std::string* result,
                                   const std::u16string& kivdbloc,
                                   const std::u16string& kivdb2loc) {
  result->clear();
  mergePage(
      "load", [&] { text = page::decodePage(page, codePage_); }, "save",
      [&] { *result = page::encodePage(text, codePage_); }, kivdbloc, kivdb2loc);
  return Variant();
}

void ctlMessage::mergePage(const std::string& loadStep, const std::function<void()>& load,
                           const std::string& saveStep, const std::function<void()>& save,
                           const std::u16string& kivdbloc, const std::u16string& kivdb2loc) {
  failures_.clear();
  std::string step = loadStep;
  try {
    load();
    step = "merge";
    curdbloc = kivdbloc;
    wkcycle = 1;
    mergeWeb();
    if (kivdb2loc != u"") {
      curdbloc = kivdb2loc;
      mergeWeb();
    }
    curdbloc = kivdbloc;
    wkcycle = 2;
    mergeWeb();
    if (kivdb2loc != u"") {
      curdbloc = kivdb2loc;
      mergeWeb();
    }
    curdbloc = kivdbloc;
    step = saveStep;
    save();
  } catch (const RuntimeError& e) {
    recordFailure(step, e.number(), e.description());
  } catch (const std::bad_alloc&) {
    recordFailure(step, err::kOutOfMemory, "Out of memory");
  } catch (const std::length_error&) {
    recordFailure(step, err::kOutOfMemory, "Out of memory: a text longer than a string can hold");
  }
}

void ctlMessage::mergeWeb() {
  page::PageMembers m{text,   HitStr, textWeb, textWebbefore, wkcycle, curdbloc, kivdb, kivrs,
                      kivrs2, DB,     rs};
  int number = 0;
  std::string description;
  try {
    page::runPagePass(
        m, [this] { WEB明細型(); }, observer_);
    return;
  } catch (const RuntimeError& e) {
    number = e.number();
    description = e.description();
  } catch (const std::bad_alloc&) {
    number = err::kOutOfMemory;
    description = "Out of memory";
  } catch (const std::length_error&) {
    number = err::kOutOfMemory;
    description = "Out of memory: a text longer than a string can hold";
  }
  std::string step =
      "pass " + std::to_string(wkcycle) + " on " + text::toUtf8(db::maskPasswords(curdbloc));
  std::string where;
  if (HitStr != 0) {
    where =
        ", placeholder " + placeholderAt(text, HitStr) + " at position " + std::to_string(HitStr);
  }
  recordFailure(step, number, description);
  passFailed(step + where + ": error " + std::to_string(number) + ": " + description);
}

void ctlMessage::WEB明細型() {
  page::PageMembers m{text,   HitStr, textWeb, textWebbefore, wkcycle, curdbloc, kivdb, kivrs,
                      kivrs2, DB,     rs,      keepTextWeb_};
  page::expandDetailTables(m, observer_);
}

}  // namespace dorvane
