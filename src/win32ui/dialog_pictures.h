// What a dialog box draws with: its button bitmaps, status colours, background and icons, each
// owned and released with the box. Handles are named without <windows.h>.
#pragma once

#include <array>
#include <map>
#include <memory>

#include "win32ui/dialog_window.h"

struct HBITMAP__;
struct HBRUSH__;
struct HICON__;

namespace kvx::win32ui {

struct GdiObjectDeleter {
  void operator()(void* object) const;
};
struct IconDeleter {
  void operator()(HICON__* icon) const;
};
using OwnedBitmap = std::unique_ptr<HBITMAP__, GdiObjectDeleter>;
using OwnedBrush = std::unique_ptr<HBRUSH__, GdiObjectDeleter>;
using OwnedIcon = std::unique_ptr<HICON__, IconDeleter>;

// The four pictures of a bitmap button, in the order of ButtonState.
enum class ButtonState { kUp, kDown, kFocused, kDisabled };
inline constexpr std::array<char, 4> kButtonStateLetters = {'U', 'D', 'F', 'X'};

struct DialogWindow::Pictures {
  struct StaticColours {
    Colour text;
    Colour background;
    OwnedBrush brush;
  };
  std::map<int, std::array<OwnedBitmap, 4>> buttons;
  std::map<int, StaticColours> colours;
  OwnedBitmap background;
  OwnedIcon large_icon;
  OwnedIcon small_icon;
};

}  // namespace kvx::win32ui
