// Waiting, without real-time sleeps, until a CCom over a FakeSerialPort has nothing in motion.
//
// Call on the CCom's owner thread, then handle what was posted (MessageLoop::RunUntilIdle). If the
// handlers write again, repeat: engine tests settle with
//   do { WaitForSerialQuiescence(com, port); } while (loop.RunUntilIdle() > 0);
#pragma once

#include "platform/fake_serial_device.h"
#include "serial/ccom.h"

namespace kvx::test {

// Returns once every write handed to `com` has reached `port` (and the port's terminal callback
// has answered it), and the reader has taken every byte and event the port holds and posted its
// notification. Sends to the owner (the reader's log requests) are served meanwhile. False only
// when the port did not settle within its bound, which is a failing test.
inline bool WaitForSerialQuiescence(CCom& com, const FakeSerialPort& port) {
  com.WaitUntilIdle();  // writes done: replies delivered; the reader is back waiting, or ended
  const bool settled = port.WaitUntilQuiescent();  // the reader took everything delivered
  com.WaitUntilIdle();  // and has posted what it took (an error ends it after its post)
  return settled;
}

}  // namespace kvx::test
