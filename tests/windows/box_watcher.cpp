// Waits for the message box a pass shows (a dialog with an empty title),
// prints its text and presses OK. Exits 0 when it closed one, 1 when none
// came within the time given in seconds (default 20).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  for (int waited = 0; waited < seconds * 10; ++waited) {
    HWND box = ::FindWindowW(L"#32770", L"");
    if (box && ::IsWindowVisible(box)) {
      wchar_t text[256] = {};
      // The box's text is the static control with id 65535.
      ::GetDlgItemTextW(box, 0xFFFF, text, 256);
      std::string shown;
      for (const wchar_t* p = text; *p; ++p) shown += static_cast<char>(*p < 128 ? *p : '?');
      std::printf("box: %s\n", shown.c_str());
      std::fflush(stdout);
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    ::Sleep(100);
  }
  std::printf("box: none\n");
  return 1;
}
