// A dialog box of the Windows window, made from a template of resources.rc, whose controls are
// addressed by their ids: the layer a Win32 view of the operator window is written on. It knows
// controls, pictures and input, never what the program does with them.
//
// Texts are UTF-8 here and wide at the system. Everything runs on the thread that made the box.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct HWND__;

namespace kvx::win32ui {

using NativeWindow = HWND__*;

struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

// A rectangle in pixels of the dialog's client area.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class DialogWindow {
 public:
  // Called once the controls exist (the system's dialog initialisation).
  using Prepare = std::function<void(DialogWindow&)>;

  // A modeless box, created visible when its template says so; nullptr when the system refuses.
  static std::unique_ptr<DialogWindow> Create(int template_id, NativeWindow owner = nullptr,
                                              const Prepare& prepare = {});
  // A modal box: runs until EndModal, Ok, Cancel or its close button; returns the result.
  static int RunModal(int template_id, NativeWindow owner, const Prepare& prepare = {});

  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  ~DialogWindow();

  NativeWindow handle() const { return window_; }
  NativeWindow Control(int id) const;

  // Text of the caption or of a control.
  void SetCaption(std::string_view text);
  std::string Caption() const;
  void SetText(int id, std::string_view text);
  std::string Text(int id) const;

  void Enable(int id, bool enabled);
  bool IsEnabled(int id) const;
  void Show(int id, bool visible);
  void Focus(int id);
  void Check(int id, bool checked);
  bool IsChecked(int id) const;

  // Progress bars: a range of 16 bits (the upper bound up to 65535) or of 32 bits.
  void SetProgressRange16(int id, std::uint16_t low, std::uint16_t high);
  void SetProgressRange32(int id, int low, int high);
  void SetProgressStep(int id, int step);
  void SetProgressPosition(int id, int position);

  // Drop-down lists.
  void AddListItem(int id, std::string_view text);
  // Selects the item equal to `text` (case-sensitive); false when there is none.
  bool SelectListItem(int id, std::string_view text);
  void SelectListIndex(int id, int index);
  std::string SelectedListText(int id) const;

  // Rich-text controls: `text` added at the very end in `colour`, whatever the selection was;
  // the view scrolled by `lines` lines.
  void AppendText(int id, std::string_view text, Colour colour);
  void ScrollTextLines(int id, int lines);

  // A static control drawn in these colours, on a brush of the background colour.
  void SetTextColours(int id, Colour text, Colour background);
  // Places a control in pixels of the client area.
  void MoveControl(int id, const PixelRect& rect);
  // Resizes the whole window, in pixels, without moving it.
  void ResizeWindow(int width, int height);

  // An owner-drawn button showing the bitmaps `name` + U (up), D (pressed), F (focused) and
  // X (disabled), e.g. "&START_U". False when a bitmap is missing.
  bool UseBitmapButton(int id, std::string_view name);
  // Bitmap `bitmap_id` drawn at the client's top-left corner under the controls; the icon
  // drawn centred while the window is minimised; the window's large and small icons.
  void UseBackground(int bitmap_id);
  void UseIcon(int icon_id);

  // A command: a button's click, a menu or accelerator command, or an item added to the system
  // menu. A modal box without a handler for Ok (1) or Cancel (2) ends with it; a modeless one
  // ignores them, so Enter and Escape do nothing.
  void OnCommand(int id, std::function<void()> handler);
  void AddSystemMenuItem(int id, std::string_view text);
  // The left button pressed and released inside control `id`'s rectangle, visible or not.
  void OnClickArea(int id, std::function<void()> handler);
  // Files dropped on the window: each name, from the last dropped to the first, in UTF-8, cut
  // to the 259 characters a 260-character buffer holds.
  void OnFilesDropped(std::function<void(const std::string&)> handler);
  // F1 (help) or the context menu.
  void OnHelp(std::function<void()> handler);
  // The caption's close button, the system menu's Close, Alt+F4.
  void OnClose(std::function<void()> handler);

  void EndModal(int result);
  void ShowWindow(bool visible);

  // Handles one message for the box; the system's dialog procedure calls it.
  std::intptr_t Handle(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);

 private:
  struct Pictures;
  friend struct DialogProcedures;

  explicit DialogWindow(bool modal);

  // Message handlers (dialog_pictures_win32.cpp and dialog_input_win32.cpp).
  bool DrawBitmapButton(std::intptr_t draw_item);
  std::intptr_t ColourStatic(std::uintptr_t device_context, std::intptr_t control);
  bool Paint();
  void TakeDroppedFiles(std::uintptr_t drop);
  void TrackClickArea(bool pressed, std::intptr_t point);

  bool modal_;
  NativeWindow window_ = nullptr;
  Prepare prepare_;
  std::unique_ptr<Pictures> pictures_;
  std::map<int, std::function<void()>> commands_;
  std::map<int, std::function<void()>> click_areas_;
  int pressed_area_ = 0;
  std::function<void(const std::string&)> files_dropped_;
  std::function<void()> help_;
  std::function<void()> close_;
};

// Loads the rich-text control's library (version 2.0), which the log window's template needs.
bool LoadRichTextLibrary();

// Runs the thread's messages until WM_QUIT, giving the keys of `dialog` to its accelerator table
// `accelerators_id` and to its dialog navigation; returns the quit code.
int RunMessageLoop(const DialogWindow& dialog, int accelerators_id);
// The same loop until `done()` is true, asked after each message. A WM_QUIT met on the way ends
// it too and is posted again for the outer loop.
void RunMessagesUntil(const DialogWindow& dialog, int accelerators_id,
                      const std::function<bool()>& done);

}  // namespace kvx::win32ui
