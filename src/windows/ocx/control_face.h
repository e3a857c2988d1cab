// The control's face on Windows: a child window of the container's window
// whose one push button "Command1" sits at the top left corner and covers
// the face at every size, and the same face painted into any device
// context (IViewObject::Draw: design mode, printing, a container that does
// not activate the control).
#pragma once

#include <windows.h>

#include <functional>

namespace dorvane::windows {

class ControlFace {
 public:
  // onClick runs when the button is pressed (by mouse, Space or Enter).
  explicit ControlFace(std::function<void()> onClick) : onClick_(std::move(onClick)) {}
  ~ControlFace() { destroy(); }
  ControlFace(const ControlFace&) = delete;
  ControlFace& operator=(const ControlFace&) = delete;

  // Creates the face, visible, as a child of parent at position (parent's
  // client coordinates). False when the window cannot be made.
  bool create(HWND parent, const RECT& position);
  void destroy();
  HWND window() const { return window_; }
  HWND button() const { return button_; }

  // Moves the face to position, showing only what lies inside clip.
  void place(const RECT& position, const RECT& clip);
  // The button's font (null: the system's) and the face's colours.
  void setLook(HFONT font, COLORREF back, COLORREF fore);

  // Paints the face (a raised button with its caption) into dc within
  // bounds, as the live window shows it.
  static void paint(HDC dc, const RECT& bounds, HFONT font, COLORREF back, COLORREF fore);

  // The caption of the button.
  static constexpr const wchar_t* kCaption = L"Command1";

  // Removes the window class when the library leaves the process.
  static void unregisterClass();

 private:
  static bool registerClass();
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);

  std::function<void()> onClick_;
  HWND window_ = nullptr;
  HWND button_ = nullptr;
  HBRUSH backBrush_ = nullptr;
  COLORREF back_ = 0;
  COLORREF fore_ = 0;
};

}  // namespace dorvane::windows
