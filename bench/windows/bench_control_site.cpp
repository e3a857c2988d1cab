// The cost of siting the visual control in Wine's ATL container, and what a
// long-lived form keeps of it. Each cycle creates an "AtlAxWin" window
// named Dorvane.ctlMessage on a form (ATL creates the control, gives it its
// site, InitNew, the extent, in-place activation: the face's window and its
// button), lets the messages run, and destroys the window (Close, the site
// released, the control released).
//   bench_control_site.exe [CYCLES]     (default 1000; Dorvane.ocx registered)
// Prints the median and the 10th and 90th percentiles of a cycle in
// microseconds, and the process's committed memory and working set, its GDI
// and USER objects (GetGuiResources; Wine does not count them) and the
// windows of its thread, before the first cycle, after the first tenth of
// them (the warm state) and after the last.
#include <ole2.h>
#include <psapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "control/atl_host.h"

namespace {

struct Usage {
  SIZE_T committed, workingSet;
  long gdi, user;  // -1: the system does not count them (Wine)
  int windows;     // the windows of this thread, children included
};

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  ::EnumChildWindows(window, countWindow, count);
  return TRUE;
}

long guiObjects(DWORD kind) {
  ::SetLastError(0);
  const DWORD n = ::GetGuiResources(::GetCurrentProcess(), kind);
  return n == 0 && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? -1 : static_cast<long>(n);
}

Usage usage() {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &m, sizeof m);
  int windows = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&windows));
  return {m.PagefileUsage, m.WorkingSetSize, guiObjects(GR_GDIOBJECTS), guiObjects(GR_USEROBJECTS),
          windows};
}

void print(const char* when, const Usage& u) {
  char gdi[24] = "not counted", user[24] = "not counted";
  if (u.gdi >= 0) std::snprintf(gdi, sizeof gdi, "%ld", u.gdi);
  if (u.user >= 0) std::snprintf(user, sizeof user, "%ld", u.user);
  std::printf(
      "%-24s committed %8.1f KiB  working set %8.1f KiB  GDI objects %s  USER objects %s"
      "  windows %d\n",
      when, u.committed / 1024.0, u.workingSet / 1024.0, gdi, user, u.windows);
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
  ::OleInitialize(nullptr);
  atl_host::Atl atl;
  if (!atl_host::load(atl)) {
    std::fprintf(stderr, "bench_control_site: Wine's ATL is not there\n");
    return 1;
  }
  HWND form = atl_host::makeForm(300, 200);
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  std::vector<double> micros;
  const Usage before = usage();
  Usage warm = before;
  for (int i = 0; i < cycles; ++i) {
    ::QueryPerformanceCounter(&start);
    HWND ax = ::CreateWindowExW(0, L"AtlAxWin", L"Dorvane.ctlMessage", WS_CHILD | WS_VISIBLE, 10,
                                10, 160, 50, form, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    atl_host::pump(0);
    const bool sited = ::FindWindowExW(ax, nullptr, L"DorvaneCtlMessageFace", nullptr) != nullptr;
    ::DestroyWindow(ax);
    atl_host::pump(0);
    ::QueryPerformanceCounter(&end);
    if (!sited) {
      std::fprintf(stderr, "bench_control_site: cycle %d: the control was not sited\n", i);
      return 1;
    }
    micros.push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                     static_cast<double>(frequency.QuadPart));
    if (i + 1 == cycles / 10) warm = usage();
  }
  const Usage after = usage();
  std::sort(micros.begin(), micros.end());
  std::printf("%d cycles of site, in-place activate, tear down in Wine's ATL (AtlAxWin)\n", cycles);
  std::printf("median %.0f us   10th percentile %.0f us   90th percentile %.0f us\n",
              micros[micros.size() / 2], micros[micros.size() / 10],
              micros[micros.size() * 9 / 10]);
  print("before the first cycle", before);
  print("after the first tenth", warm);
  print("after the last cycle", after);
  ::DestroyWindow(form);
  ::OleUninitialize();
  return 0;
}
