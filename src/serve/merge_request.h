// One merge asked over HTTP, run in a merge slot: a page, a workbook or a
// single placeholder, from the request's bytes to the answer's.
//
// A page is merged in memory, as `dorvane web` merges a file: the body is the
// page, the answer the bytes its result file would hold. A workbook is
// written to a private temporary folder, merged there by the batch runner (as
// `dorvane sheet IN OUT` merges it) and read back; the folder is removed
// whatever happens. Databases are only the configured ones: the caller
// passes paths taken from the configuration, and the thread's database
// policy confines what reference tables name.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/db/database_policy.h"

namespace dorvane::serve {

using Clock = std::chrono::steady_clock;

enum class MergeKind { Page, Workbook, Resolve };

struct MergeRequest {
  MergeKind kind = MergeKind::Page;
  std::string body;       // the template, or the placeholder text
  std::string db, db2;    // configured paths or connect strings; db2 may be ""
  int codePage = 932;     // pages
  bool macros = false;    // workbooks: .xlsm rather than .xlsx
  bool report = false;    // answer the merge report instead of the result
  int pass = 1;           // resolve
  bool pageKind = false;  // resolve: the page form of placeholders
  Clock::time_point deadline;
  const db::DatabasePolicy* policy = nullptr;
};

// A run that ended with "error": where, which error and at which placeholder.
struct RunError {
  std::string step;
  int number = 0;
  std::string description;
  std::string placeholder;  // the last placeholder met before it; may be ""
};

struct MergeAnswer {
  enum class Status {
    Done,         // every run went through
    RunFailed,    // the result is there, but a run ended with "error"
    BadTemplate,  // the template could not be loaded (nothing merged)
    Failed,       // the result could not be produced (saving, memory)
    PastDeadline  // stopped between two placeholders; no result
  };
  Status status = Status::Done;
  std::string body;              // the result, the report or the resolve JSON
  std::vector<RunError> errors;  // in order
  std::string loadError;         // BadTemplate/Failed: why
};

// Runs request on the calling thread, which holds a merge slot. Never raises.
MergeAnswer runMerge(const MergeRequest& request);

}  // namespace dorvane::serve
