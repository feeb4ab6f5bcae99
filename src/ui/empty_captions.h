// Empty captions stay empty. Qt fills an empty window title with the program's name on X11 and,
// once the application has a display name, puts that name after every other title. The
// operator's boxes with no caption (the start-up warning, the port problems, the engine's own
// boxes, the port setup dialog) must show none.
#pragma once

namespace kvx::ui {

// From now on no title gets the display name added (it is the empty string), and on X11 every
// top-level window whose title is empty has its name properties (_NET_WM_NAME, WM_NAME) cleared
// after Qt has set them: when it is about to be shown and whenever its title changes. Needs the
// QApplication; GUI thread. Later calls do nothing more.
void UseEmptyCaptions();

}  // namespace kvx::ui
