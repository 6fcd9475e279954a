// The drive's commands once a stop has come before the write: none is sent but the tray's
// unlock (ALLOW MEDIUM REMOVAL), so that a stop during the checks ends them with the
// command in flight and leaves the tray free. A request kept back ends at once as
// SS_ABORTED. Sits between a device and its linked layer.
#pragma once

#include "StopRequests.h"
#include "scsi/LinkedAspiLayer.h"

class StopGate : public LinkedAspiLayer {
public:
    StopGate(LinkedAspiLayer& layer, const StopRequests& stop) : layer(layer), stop(stop) {}

    uint32_t SupportInfo() override { return layer.SupportInfo(); }
    uint32_t Send(void* request) override;

private:
    LinkedAspiLayer& layer;
    const StopRequests& stop;
};
