// A workbook file job on a private Calc, run once more on a fresh Calc when
// the first one dies or drops its bridge on the way.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/sheet/calc/calc_backend.h"

namespace dorvane::sheet::calc {

// The step under which a host tells (in an explanation or a report) that
// the first try of a job was lost and the job ran once more.
inline constexpr char kFirstTryStep[] = "first try on a private LibreOffice Calc";

// The steps of a job, to name the one that failed.
enum class JobStep { Start, Load, Work, Save };

struct WorkbookJob {
  std::string in, out;
  // The work on the loaded workbook, given the Calc's address (for attach);
  // may raise. On a second try it runs again from the start.
  std::function<void(const std::string& address)> work;
  // What the work does to in, as its step is named ("merge").
  std::string task = "work on";
  // Told, before a second try, why the first was lost ("The private
  // LibreOffice Calc was killed by signal 9 (SIGKILL) during \"merge
  // in.ods\""); returns
  // false to give up instead (for example when interrupted). Null: always
  // try again.
  std::function<bool(const std::string& why)> retrying;
};

// The step as a failure names it: "start LibreOffice Calc for IN", "load
// IN", "merge IN" (job.task), "save OUT".
std::string stepName(JobStep step, const WorkbookJob& job);

// Runs job on the private Calc in calc, started there first (by the
// backend) when calc is null: loads job.in, runs job.work and saves job.out, with step following
// the steps. When that Calc ends or stops answering before the job is done,
// it is ended with its process group, a fresh one is started in calc and
// the whole job runs once more from job.in: nothing is written before the
// save, so the second try starts from the same files. Raises what the
// failing step raised (with the first loss added on a second try), or 1004
// when the Calc was lost on both tries. On raising, calc holds a Calc in
// any state, or none: the caller ends it.
void runWorkbookJob(std::unique_ptr<PrivateCalc>& calc, const WorkbookJob& job, JobStep& step);

}  // namespace dorvane::sheet::calc
