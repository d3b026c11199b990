// The process-wide provider of the device directory's socket devices
// (socket_devices.h), which the registry asks after its own devices. It
// follows GetDeviceDirectory: a change of directory drops the devices of the
// old one from listings.
#pragma once

#include <memory>

#include "device_registry.h"

namespace svcp {

std::shared_ptr<IDeviceProvider> MakeDeviceDirectoryProvider();

}  // namespace svcp
