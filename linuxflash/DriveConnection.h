// The way to the drives of a run: the SG_IO calls on their claimed block devices, the
// layer over them, the gate that keeps commands back after a stop, and the library's
// device over it all with its drive discovery run. Built in this order and taken down in
// the reverse one: the device first, then the layer, which waits for a call the kernel
// still holds.
#pragma once

#include <cstdint>
#include <vector>

#include "SgAspiLayer.h"
#include "SgIoctl.h"
#include "StopGate.h"
#include "StopRequests.h"
#include "scsi/ScsiDevice.h"

class DriveConnection {
public:
    // descriptors and targets: one of each per drive, as the layer's adapters.
    DriveConnection(const std::vector<int>& descriptors, const std::vector<uint8_t>& targets,
                    const StopRequests& stop);

    ScsiDevice& Device() { return device; }
    // True while the kernel still holds a command the drive has not answered.
    bool HoldsCalls() { return layer.HoldsCalls(); }
    // False when the layer could not start its threads: every command then fails at once.
    bool Started() const { return layer.Started(); }
    // True once Linux has said that the drive is gone, and its words then.
    bool DriveGone() const { return layer.DriveGone(); }
    std::string GoneWord() const { return layer.GoneWord(); }

private:
    SgIoctl ioctl;
    SgAspiLayer layer;
    StopGate gate;
    ScsiDevice device;
};
