// The SG_IO calls of the layer: one open device file per adapter, and ioctl(SG_IO) on it.
#pragma once

#include <vector>

#include "SgAspiLayer.h"

class SgIoctl : public SgTransport {
public:
    // The devices' open descriptors, by the layer's device index; the caller keeps them open.
    explicit SgIoctl(const std::vector<int>& descriptors) : descriptors(descriptors) {}

    int Run(int device, SgIoHeader& header) override;

private:
    std::vector<int> descriptors;
};
