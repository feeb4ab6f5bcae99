// The program's names, titles and fixed texts, shared by the windows, the boxes and the artwork.
#pragma once

#include <string>
#include <string_view>

#include "platform/program_version.h"

namespace kvx::ui {

inline constexpr std::string_view kProductName = "Velmora KVX-01 Upgrader";
inline constexpr std::string_view kVersionText = "(v" KVX_VERSION ")";
// Base text of the title in development mode (spelled as operators have always seen it).
inline constexpr std::string_view kDevelopmentTitleBase = "DEVELPEMENT mode enable - v";
// The caption of the error, question and exit boxes.
inline constexpr std::string_view kBoxCaption = "Velmora KVX-01 Upgrader";
// The maker's home page, opened by the link in the main window's header.
inline constexpr std::string_view kMakerHomePage = "https://www.velmora.com/";
inline constexpr std::string_view kMakerHomePageLabel = "www.velmora.com";
// String 176: the copyright line of the about box.
inline constexpr std::string_view kCopyrightLine =
    "Copyright (C) 2019-2024 Velmora. All rights reserved.";

// "<base> (v1.0.1)": the title at start, after a port problem and after a mode switch.
inline std::string StartTitle(bool development) {
  std::string title(development ? kDevelopmentTitleBase : kProductName);
  title += ' ';
  title += kVersionText;
  return title;
}

// "Velmora KVX-01 Upgrader (v1.0.1) - (<port>)": the title once the engine has confirmed a port.
inline std::string PortTitle(std::string_view port) {
  std::string title(kProductName);
  title += ' ';
  title += kVersionText;
  title += " - (";
  title += port;
  title += ')';
  return title;
}

}  // namespace kvx::ui
