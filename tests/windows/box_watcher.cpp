// Waits for the message boxes the passes show (visible dialogs of the
// standard dialog class), prints the text of each and presses OK. Waits up
// to the seconds given (default 20) for the first box and the seconds of the
// second argument (default 5) for each next one. Exits 0 when it closed at least one, 1 when none came.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

BOOL CALLBACK findBox(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wstring(name) == L"#32770" && ::IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  int wait = (argc > 1 ? std::atoi(argv[1]) : 20) * 10;
  const int next = (argc > 2 ? std::atoi(argv[2]) : 5) * 10;
  int closed = 0;
  for (int waited = 0; waited < wait; ++waited) {
    HWND box = nullptr;
    ::EnumWindows(findBox, reinterpret_cast<LPARAM>(&box));
    if (box) {
      wchar_t text[256] = {};
      // The box's text is the static control with id 65535.
      ::GetDlgItemTextW(box, 0xFFFF, text, 256);
      std::string shown;
      for (const wchar_t* p = text; *p; ++p) shown += static_cast<char>(*p < 128 ? *p : '?');
      std::printf("box: %s\n", shown.c_str());
      std::fflush(stdout);
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      ++closed;
      ::Sleep(500);  // until it has gone
      waited = 0;
      wait = next;
    }
    ::Sleep(100);
  }
  if (closed == 0) std::printf("box: none\n");
  return closed > 0 ? 0 : 1;
}
