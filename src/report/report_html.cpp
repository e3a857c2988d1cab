#include "report/report_html.h"

#include <array>
#include <cstdio>
#include <map>

#include "platform/text/utf.h"
#include "report/html_text.h"
#include "report/page_marks.h"
#include "resolve/names.h"

namespace dorvane::report {

namespace {

// Styles: marks by verdict, the grid, and a print form without the filters.
constexpr char kStyle[] = R"css(
body{font:14px/1.4 system-ui,sans-serif;margin:1em 2em;color:#222}
h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.2em;margin-top:1.5em;border-bottom:1px solid #ccc}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;vertical-align:top;text-align:left}
th{background:#f0f0f0}dl.facts{display:grid;grid-template-columns:max-content auto;gap:2px 1em}
dl.facts dt{font-weight:bold}dl.facts dd{margin:0}
.num{text-align:right}code,pre{font-family:ui-monospace,monospace;font-size:13px}
pre.src{white-space:pre-wrap;word-break:break-all;border:1px solid #ccc;padding:.5em;background:#fafafa;max-height:40em;overflow:auto}
.mark{text-decoration:none;color:inherit;border-radius:2px;padding:0 1px}
.v-written{background:#c8f0c8}.v-other-pass{background:#e4e4f8}.v-key-missing{background:#ffe0a0}
.v-unwritten{background:#ffd0d0}.v-error{background:#ff8080}
.mark.val{background:#7fd67f;outline:1px solid #3a3}
.raw{background:#fe9;border:1px dotted #a80}
td.ref{font-size:12px}td.ref dl{margin:0;display:grid;grid-template-columns:max-content auto;gap:0 .5em}td.ref dt{color:#555}td.ref dd{margin:0}
ol.sql{margin:0;padding-left:1.2em}ol.sql li{margin-bottom:2px}.n{color:#555;white-space:nowrap}
table.grid td{min-width:3em;max-width:16em;overflow:hidden}table.grid th{text-align:center}
table.grid td.blk-t{border-top:2px solid #06c}table.grid td.blk-b{border-bottom:2px solid #06c}
table.grid td.blk-l{border-left:2px solid #06c}table.grid td.blk-r{border-right:2px solid #06c}
.note{font-size:11px;color:#555;border-top:1px dashed #bbb}
#filters{display:none;margin:.5em 0}#filters label{margin-right:1em}
tr.hide{display:none}:target{outline:3px solid #f80}
@media print{#filters{display:none!important}pre.src{max-height:none;overflow:visible}tr.hide{display:table-row}}
)css";

// Filtering by verdict and key; the page reads and prints the same without it.
constexpr char kScript[] = R"js(
(function(){
var f=document.getElementById('filters');f.style.display='block';
var v=document.getElementById('f-verdict'),k=document.getElementById('f-key'),c=document.getElementById('f-count');
var rows=document.querySelectorAll('#occurrences tbody tr');
function apply(){var n=0,want=v.value,key=k.value.toLowerCase();
for(var i=0;i<rows.length;i++){var r=rows[i];
var ok=(!want||r.getAttribute('data-verdict')===want)&&(!key||r.getAttribute('data-key').toLowerCase().indexOf(key)>=0);
r.className=ok?'':'hide';if(ok)n++;}
c.textContent=n+' of '+rows.length+' shown';}
v.addEventListener('change',apply);k.addEventListener('input',apply);
var links=document.querySelectorAll('[data-filter]');
for(var j=0;j<links.length;j++){links[j].addEventListener('click',function(){v.value=this.getAttribute('data-filter');apply();});}
apply();
})();
)js";

std::string h(std::u16string_view s) { return escapeHtml(s); }
std::string h(const std::string& s) { return escapeHtml(std::string_view(s)); }
std::string attr(std::u16string_view s) { return escapeHtml(s, false); }
// A name from outside (a path, a connect string, an SQL text), escaped and masked.
std::string masked(const std::u16string& s) { return h(maskPasswords(s)); }
std::string masked(const std::string& s) { return h(maskPasswords(s)); }

std::string columnLetters(long column) {
  std::string out;
  for (long c = column; c > 0; c = (c - 1) / 26) out.insert(out.begin(), char('A' + (c - 1) % 26));
  return out;
}

// A reference column worth a line: Null columns are left out, except the
// unit (a Null unit makes the value Null) and the transfer priority.
bool shownField(const ObservedField& f) {
  return f.value != u"Null" || f.name == names::kUnit || f.name == names::kTransferPriority;
}

std::string cellId(long row, long column) {
  return "c-" + std::to_string(row) + "-" + std::to_string(column);
}

std::string occurrenceId(std::size_t i) { return "o-" + std::to_string(i + 1); }

using Counts = std::array<long, kVerdictCount>;

void appendCounts(std::string& out, const Counts& counts) {
  for (long n : counts) out += "<td class=\"num\">" + std::to_string(n) + "</td>";
}

void appendSummary(std::string& out, const ReportSubject& subject, const MergeRecord& record,
                   const char* kind) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f s", subject.seconds);
  out += "<section id=\"summary\"><h2>Summary</h2><dl class=\"facts\">";
  out += "<dt>Merge</dt><dd>" + std::string(kind) + "</dd>";
  out += "<dt>Template</dt><dd>" +
         (subject.templateName.empty() ? std::string("the active sheet of the running spreadsheet")
                                       : masked(subject.templateName)) +
         "</dd>";
  if (!subject.resultName.empty())
    out += "<dt>Result</dt><dd>" + masked(subject.resultName) + "</dd>";
  out += "<dt>Duration</dt><dd>" + std::string(seconds) + "</dd>";
  out += "<dt>Placeholders met</dt><dd>" + std::to_string(record.occurrences.size()) + "</dd></dl>";

  std::map<int, Counts> perRun;
  Counts total{};
  for (const Occurrence& o : record.occurrences) {
    ++perRun[o.run][static_cast<size_t>(o.verdict)];
    ++total[static_cast<size_t>(o.verdict)];
  }
  out += "<table id=\"runs\"><thead><tr><th>Run</th><th>Pass</th><th>Database</th>";
  for (int v = 0; v < kVerdictCount; ++v) {
    const auto verdict = static_cast<Verdict>(v);
    out += "<th><a href=\"#occurrences\" data-filter=\"" + std::string(verdictName(verdict)) +
           "\">" + verdictLabel(verdict) + "</a></th>";
  }
  out += "<th>First error</th></tr></thead><tbody>";
  for (const Run& run : record.runs) {
    out += "<tr><td class=\"num\">" + std::to_string(run.number) + "</td><td class=\"num\">" +
           std::to_string(run.pass) + "</td><td>" + masked(run.database) + "</td>";
    appendCounts(out, perRun[run.number]);
    out += "<td class=\"reason\">";
    if (run.firstError) {
      out += "error " + std::to_string(run.firstError->number) + ": " +
             masked(run.firstError->description) + " <span class=\"n\">(" +
             masked(run.firstError->step) + ")</span>";
    }
    out += "</td></tr>";
  }
  out += "<tr class=\"total\"><th colspan=\"3\">All runs</th>";
  appendCounts(out, total);
  out += "<td></td></tr></tbody></table>";
  for (const Failure& f : record.otherFailures) {
    out += "<p class=\"v-error\">" + masked(f.step) + " failed: error " + std::to_string(f.number) +
           ": " + masked(f.description) + "</p>";
  }
  out += "</section>";
}

void appendPage(std::string& out, const std::u16string& text, const MergeRecord& record,
                const PageMarks& marks) {
  out +=
      "<section id=\"document\"><h2>The merged page</h2>"
      "<p>The result page's text as source. <span class=\"mark val\">Written values</span> "
      "and placeholders (coloured by what became of them) link to their rows below.</p>"
      "<pre class=\"src\">";
  std::int64_t done = 0;
  const std::u16string_view all(text);
  for (std::size_t m = 0; m < marks.marks.size(); ++m) {
    const PageMark& mark = marks.marks[m];
    out += h(all.substr(static_cast<size_t>(done), static_cast<size_t>(mark.start - done)));
    const Occurrence& o = record.occurrences[mark.occurrence];
    out += "<a class=\"mark " + std::string(mark.value ? "val" : "ph v-") +
           (mark.value ? "" : verdictName(o.verdict)) + "\" id=\"m-" + std::to_string(m + 1) +
           "\" href=\"#" + occurrenceId(mark.occurrence) + "\" title=\"" +
           (mark.value ? "value of " : "") + attr(o.key) + ": " + verdictLabel(o.verdict) + "\">" +
           h(all.substr(static_cast<size_t>(mark.start), static_cast<size_t>(mark.length))) +
           "</a>";
    done = mark.start + mark.length;
  }
  out += h(all.substr(static_cast<size_t>(done)));
  out += "</pre></section>";
}

// Per cell of the grid, the occurrence the grid links it to: the one that
// wrote it, else the last one met there.
std::map<std::pair<long, long>, std::size_t> cellOwners(const MergeRecord& record) {
  std::map<std::pair<long, long>, std::size_t> owners;
  for (std::size_t i = 0; i < record.occurrences.size(); ++i) {
    const Occurrence& o = record.occurrences[i];
    auto rc = cellOf(o.where);
    if (!rc) continue;
    auto [it, fresh] = owners.try_emplace(*rc, i);
    if (!fresh && record.occurrences[it->second].verdict != Verdict::Written) it->second = i;
  }
  return owners;
}

void appendGrid(std::string& out, const SheetGrid& grid, const MergeRecord& record) {
  out +=
      "<section id=\"document\"><h2>The merged sheet</h2>"
      "<p>Cells from A1 to the last cell the merge met. Cells with placeholders are coloured "
      "by what became of them and link to their rows; detail blocks are outlined.</p>";
  if (grid.clipped) {
    out += "<p>Only the first " + std::to_string(kMaxGridRows) + " rows and " +
           std::to_string(kMaxGridColumns) + " columns are shown.</p>";
  }
  const auto owners = cellOwners(record);
  out += "<table class=\"grid\"><thead><tr><th></th>";
  for (long c = 1; c <= grid.columns; ++c) out += "<th>" + columnLetters(c) + "</th>";
  out += "</tr></thead><tbody>";
  for (long r = 1; r <= grid.rows; ++r) {
    out += "<tr><th>" + std::to_string(r) + "</th>";
    for (long c = 1; c <= grid.columns; ++c) {
      const GridCell& cell = grid.at(r, c);
      std::string cls;
      for (const Block& b : record.blocks) {
        if (r < b.top || r > b.bottom || c < b.left || c > b.right) continue;
        if (r == b.top) cls += " blk-t";
        if (r == b.bottom) cls += " blk-b";
        if (c == b.left) cls += " blk-l";
        if (c == b.right) cls += " blk-r";
      }
      auto owner = owners.find({r, c});
      if (owner != owners.end()) {
        cls += " v-";
        cls += verdictName(record.occurrences[owner->second].verdict);
      }
      out += "<td id=\"" + cellId(r, c) + "\"";
      if (!cls.empty()) out += " class=\"" + cls.substr(1) + "\"";
      if (cell.note) out += " title=\"" + attr(*cell.note) + "\"";
      out += ">";
      if (owner != owners.end()) {
        out += "<a class=\"mark\" href=\"#" + occurrenceId(owner->second) + "\">" + h(cell.value) +
               "</a>";
      } else {
        out += h(cell.value);
      }
      if (cell.note) out += "<div class=\"note\">" + h(*cell.note) + "</div>";
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</tbody></table></section>";
}

std::string recordsText(const SqlStep& step) {
  if (!step.records) return "";
  const long n = *step.records;
  return " <span class=\"n\">&#8594; " + std::to_string(n) + (n == 1 ? " record" : " records") +
         "</span>";
}

void appendOccurrences(std::string& out, const MergeRecord& record, const Document& document,
                       const PageMarks* marks) {
  out +=
      "<section id=\"placeholders\"><h2>Placeholders</h2>"
      "<p>One row per placeholder per run. SQL texts carry their key values inline.</p>"
      "<div id=\"filters\"><label>Outcome <select id=\"f-verdict\"><option value=\"\">all"
      "</option>";
  for (int v = 0; v < kVerdictCount; ++v) {
    const auto verdict = static_cast<Verdict>(v);
    out += "<option value=\"" + std::string(verdictName(verdict)) + "\">" + verdictLabel(verdict) +
           "</option>";
  }
  out +=
      "</select></label><label>Key <input id=\"f-key\" type=\"search\"/></label>"
      "<span id=\"f-count\"></span></div>";
  out +=
      "<table id=\"occurrences\"><thead><tr><th>Where</th><th>Run</th><th>Pass</th>"
      "<th>Key</th><th>Key values</th><th>Reference row</th><th>SQL</th><th>Value written</th>"
      "<th>Comment</th><th>Outcome</th><th>Why</th></tr></thead><tbody>";

  const auto* page = std::get_if<PageDocument>(&document);
  const LineIndex lines(page ? std::u16string_view(page->text) : std::u16string_view());
  for (std::size_t i = 0; i < record.occurrences.size(); ++i) {
    const Occurrence& o = record.occurrences[i];
    out += "<tr id=\"" + occurrenceId(i) + "\" data-verdict=\"" + verdictName(o.verdict) +
           "\" data-key=\"" + attr(o.key) + "\">";

    // Where: line:column in the result (or the position the run saw), or the cell.
    out += "<td class=\"where\">";
    const long pm = marks ? marks->placeholderMark[i] : -1;
    if (pm >= 0) {
      const LineColumn lc = lines.at(marks->marks[static_cast<size_t>(pm)].start);
      out += "<a href=\"#m-" + std::to_string(pm + 1) + "\">" + std::to_string(lc.line) + ":" +
             std::to_string(lc.column) + "</a>";
    } else if (auto rc = cellOf(o.where); rc && std::holds_alternative<SheetGrid>(document)) {
      out += "<a href=\"#" + cellId(rc->first, rc->second) + "\">" + h(o.where) + "</a>";
    } else {
      out += h(o.where);
    }
    out += "</td><td class=\"num\">" + std::to_string(o.run) + "</td><td class=\"num\">" +
           std::to_string(o.pass) + "</td>";
    out += "<td><code>" + h(o.key) + "</code>" +
           (o.detail ? " <span class=\"n\">detail</span>" : "") + "</td><td><code>" +
           h(o.keyValues) + "</code></td>";

    out += "<td class=\"ref\">";
    if (!o.row.empty()) {
      out += "<dl>";
      for (const ObservedField& f : o.row) {
        if (!shownField(f)) continue;
        out += "<dt>" + h(f.name) + "</dt><dd>" + masked(f.value) + "</dd>";
      }
      out += "</dl>";
    }
    out += "</td><td>";
    if (!o.sql.empty()) {
      out += "<ol class=\"sql\">";
      for (const SqlStep& s : o.sql)
        out += "<li><code>" + masked(s.text) + "</code>" + recordsText(s) + "</li>";
      out += "</ol>";
    }
    out += "</td><td class=\"value\">";
    if (o.value) {
      const long vm = marks ? marks->valueMark[i] : -1;
      out += "<code>" + h(*o.value) + "</code> <span class=\"n\">at ";
      if (vm >= 0) {
        // Where it is in the result, not where it went while later runs still wrote.
        const LineColumn lc = lines.at(marks->marks[static_cast<size_t>(vm)].start);
        out += "<a href=\"#m-" + std::to_string(vm + 1) + "\">" + std::to_string(lc.line) + ":" +
               std::to_string(lc.column) + "</a>";
      } else if (auto rc = cellOf(o.writtenAt); rc && std::holds_alternative<SheetGrid>(document)) {
        out += "<a href=\"#" + cellId(rc->first, rc->second) + "\">" + h(o.writtenAt) + "</a>";
      } else {
        out += h(o.writtenAt);
      }
      out += "</span>";
    }
    out += "</td><td>" + (o.comment ? h(*o.comment) : std::string()) + "</td>";
    out += "<td class=\"outcome v-" + std::string(verdictName(o.verdict)) + "\">" +
           verdictLabel(o.verdict) + "</td><td class=\"reason\">" + masked(o.reason) + "</td></tr>";
  }
  out += "</tbody></table></section>";
}

}  // namespace

std::string renderReport(const ReportSubject& subject, const MergeRecord& record,
                         const Document& document) {
  const auto* page = std::get_if<PageDocument>(&document);
  const auto* grid = std::get_if<SheetGrid>(&document);
  PageMarks marks;
  if (page) marks = pageMarks(record, page->text);

  std::string out;
  out.reserve(4096 + record.occurrences.size() * 600 + (page ? page->text.size() * 2 : 0));
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'; script-src 'unsafe-inline'\"/>"
      "<meta name=\"viewport\" content=\"width=device-width\"/><title>Merge report: ";
  out += subject.templateName.empty() ? std::string("running sheet") : masked(subject.templateName);
  out += "</title><style>";
  out += kStyle;
  out += "</style></head><body><h1>Merge report</h1>";
  const bool sheetMerge = grid || (!page && !record.occurrences.empty() &&
                                   cellOf(record.occurrences.front().where).has_value());
  appendSummary(out, subject, record, sheetMerge ? "worksheet" : "page");
  if (page) {
    appendPage(out, page->text, record, marks);
  } else if (grid) {
    appendGrid(out, *grid, record);
  } else {
    out +=
        "<section id=\"document\"><h2>The merged document</h2><p>The merged document "
        "could not be read back.</p></section>";
  }
  appendOccurrences(out, record, document, page ? &marks : nullptr);
  // The script is also well-formed XML, so the report reads as XHTML too.
  out += "<script>//<![CDATA[";
  out += kScript;
  out += "//]]></script></body></html>\n";
  return out;
}

}  // namespace dorvane::report
