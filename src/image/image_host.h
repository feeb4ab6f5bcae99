// What the firmware-image code needs from the engine that owns it.
//
// The engine implements this; tests use a recording fake. Every call is made on the thread that
// called into the image code (the engine thread, or the front end's thread for staging at Open).
#pragma once

#include <string>

#include "platform/trace.h"

namespace kvx {

class ImageHost : public LogSink {
 public:
  // Shows an operator message: WM_USER_BTN_CTRL with BTN_ENABLE and the string id, posted.
  virtual void PostOperatorMessage(int string_id) = 0;
  // Ends the run with the message of `string_id` (0: none); used when extraction fails.
  virtual void Disconnect(int string_id) = 0;
  // Development mode of the engine.
  virtual bool IsDevMode() const = 0;
  // Development mode's modal information box; returns when the operator has closed it.
  virtual void ShowInformation(const std::string& text) = 0;
  // The firmware file the operator chose (the engine's path), and clearing it.
  virtual std::string FilePath() const = 0;
  virtual void ClearFilePath() = 0;
};

}  // namespace kvx
