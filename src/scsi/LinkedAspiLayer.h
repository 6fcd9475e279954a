// An ASPI layer linked into the program instead of loaded from WNASPI32.dll (rvxflash's
// layer over SG_IO, the drive model of the native tests): its two entry points as an
// object, so that a device reaches its layer without a global.
#pragma once

#include <cstdint>

class LinkedAspiLayer {
public:
    // GetASPI32SupportInfo: status in bits 15-8, number of host adapters in bits 7-0.
    virtual uint32_t SupportInfo() = 0;
    // SendASPI32Command.
    virtual uint32_t Send(void* request) = 0;

protected:
    ~LinkedAspiLayer() = default;
};
