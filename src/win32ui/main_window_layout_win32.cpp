#include "win32ui/main_window_layout.h"

#include <array>
#include <string_view>

#include "operator/app_identity.h"
#include "win32ui/resource_ids.h"

namespace kvx::win32ui {

namespace {

struct ImageButton {
  int id;
  std::string_view bitmaps;
};
constexpr std::array<ImageButton, 4> kImageButtons = {{{IDC_OPEN, "&OPEN_"},
                                                       {IDC_EXIT, "&EXIT_"},
                                                       {IDC_START, "&START_"},
                                                       {IDC_PORTSETUP, "&PORTSETUP_"}}};

struct Place {
  int id;
  PixelRect rect;
};
// The controls the window places in pixels; the check boxes and the link area keep their
// template places.
constexpr std::array<Place, 7> kPlaces = {{{IDC_START, {549, 365, 79, 25}},
                                           {IDC_OPEN, {550, 268, 79, 25}},
                                           {IDC_PATH_BOX, {223, 270, 322, 21}},
                                           {IDC_PROGRESS, {297, 326, 270, 10}},
                                           {IDC_EXIT, {550, 415, 79, 25}},
                                           {IDC_STATUS_LINE, {297, 305, 260, 17}},
                                           {IDC_PORTSETUP, {550, 233, 79, 25}}}};

}  // namespace

std::string AboutMenuText() {
  return "About " + std::string(ui::kBoxCaption);
}

void ApplyMainWindowLayout(DialogWindow& window) {
  window.UseIcon(IDI_PROGRAM);
  for (const ImageButton& button : kImageButtons) window.UseBitmapButton(button.id, button.bitmaps);
  window.AddSystemMenuItem(IDM_ABOUT, AboutMenuText());
  for (const Place& place : kPlaces) window.MoveControl(place.id, place.rect);
  window.ResizeWindow(kMainWindowWidth, kMainWindowHeight);
  window.SetTextColours(IDC_STATUS_LINE, kStatusText, kStatusBackground);
  window.UseBackground(IDB_BACKGROUND);
}

}  // namespace kvx::win32ui
