// The services an engine runs on. Programs pass the real ones; tests pass fakes and a ManualClock.
// Every referenced object must outlive the engine thread.
#pragma once

#include "engine/engine_hooks.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/serial_device.h"
#include "platform/serial_port_source.h"

namespace kvx {

struct EngineEnvironment {
  Clock& clock;
  SerialDeviceOpener& opener;
  SerialPortSource& ports;
  ProfileStore& profile;
  EngineHooks hooks;
};

}  // namespace kvx
