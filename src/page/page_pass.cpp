#include "page/page_pass.h"

#include <dorvane/runtime_error.h>

#include <optional>

#include "page/page_text.h"
#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/names.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"

namespace dorvane::page {

namespace {

// Separator positions inside a placeholder are 16-bit: a ";" beyond character
// 32767 overflows in the resolution.
constexpr std::int64_t kLongestPosition = 32767;

// Puts the page back into the member when the pass ends, however it ends.
class TextGuard {
 public:
  TextGuard(PageText& page, std::u16string& text) : page_(page), text_(text) {}
  ~TextGuard() {
    if (armed_) text_ = page_.release();
  }
  TextGuard(const TextGuard&) = delete;
  TextGuard& operator=(const TextGuard&) = delete;
  void restoreNow() {
    text_ = page_.release();
    armed_ = false;
  }

 private:
  PageText& page_;
  std::u16string& text_;
  bool armed_ = true;
};

// The placeholder text: the n characters from hit (its ";" the last). A text
// longer than 32768 characters cannot resolve (its ";" overflows), and how it
// fails depends only on its first 32767 characters and on whether it holds a
// "," at all: the shorter stand-in below fails in exactly the same way, so
// neighbouring placeholders of a huge one do not each copy it.
std::u16string cut(PageText& page, std::int64_t hit, std::int64_t n) {
  if (n <= kLongestPosition + 1) return page.substr(hit, n);
  std::u16string t = page.substr(hit, kLongestPosition);
  bool comma = t.find(u',') != std::u16string::npos;
  if (!comma) {
    std::int64_t c = page.find(u",", hit + kLongestPosition);
    comma = c != 0 && c < hit + n - 1;
  }
  t += comma ? u",;" : u";";
  return t;
}

}  // namespace

PassEnd runPagePass(PageMembers& m, const std::function<void()>& detail, MergeObserver* observer) {
  MergeObserver none;
  MergeObserver& obs = observer ? *observer : none;
  obs.passStarted(m.curdbloc, m.wkcycle);

  PageText page(std::move(m.text));
  TextGuard guard(page, m.text);

  // The placeholders share their snapshots, one span at a time, and the
  // first one that of opening the reference table; not across an observer
  // that may wait between two placeholders.
  std::optional<ReadRun> run;
  if (!observer || !observer->mayWait()) run.emplace();
  m.HitStr = 0;
  m.HitStr = position32(page.find(names::kValueMarker, 1));
  if (m.HitStr != 0) {
    std::optional<ReadSnapshot> view;
    if (run) view.emplace();
    m.kivdb = Engine::instance().OpenDatabase(m.curdbloc);
    m.kivrs = reference::open(*m.kivdb);
  }
  while (m.HitStr != 0) {
    const std::int64_t hit = m.HitStr;
    const std::int64_t E = page.find(u";", hit + 1);
    std::u16string placeholder;
    if (E == 0 && hit != 1) {
      throw RuntimeError(err::kInvalidCall, "Invalid procedure call: the placeholder at position " +
                                                std::to_string(hit) + " has no ';' after it");
    }
    if (E != 0) placeholder = cut(page, hit, E - hit + 1);
    obs.placeholderFound(placeholder, positionText(hit));

    PlaceholderResult r = resolvePlaceholder(placeholder, m.wkcycle, *m.kivrs,
                                             PlaceholderKind::Page, m.DB, m.rs, observer);
    if (r.outcome == Outcome::StopPass) return PassEnd::Stopped;
    if (r.outcome == Outcome::Resolved && r.value) {
      if (r.value->isNull()) {
        throw RuntimeError(err::kInvalidUseOfNull,
                           "Invalid use of Null: the value of the placeholder at position " +
                               std::to_string(hit) + " ('" +
                               text::toUtf8(placeholder.substr(0, 200)) +
                               "') is Null and cannot be written into the page");
      }
      const std::u16string x = toText(*r.value);
      std::int64_t at = page.writeAtMarker(hit, x);
      obs.valueWritten(x, at != 0 ? positionText(at)
                                  : u"nowhere: no \"gethere\" at or after " + positionText(hit));
    }
    m.HitStr = position32(page.find(names::kValueMarker, hit + 1));
  }
  run.reset();

  m.HitStr = 0;
  m.HitStr = position32(page.find(names::kDetailMarker, 1));
  if (m.HitStr != 0) {
    guard.restoreNow();
    detail();
  }
  return PassEnd::Done;
}

}  // namespace dorvane::page
