// The main window's look, applied when its dialog has been created from its template: icon,
// image buttons, the About item of the system menu, the pixel places of its controls, its size,
// the status line's colours and the background.
#pragma once

#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

inline constexpr int kMainWindowWidth = 655;
inline constexpr int kMainWindowHeight = 480;
inline constexpr Colour kStatusText{230, 230, 230};
inline constexpr Colour kStatusBackground{97, 97, 97};

// The system menu's item that opens the about box: "About" and the program's name.
std::string AboutMenuText();

void ApplyMainWindowLayout(DialogWindow& window);

}  // namespace kvx::win32ui
