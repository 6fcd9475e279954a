// The request block of Linux's SG_IO ioctl (struct sg_io_hdr, interface 'S'), laid out as
// the kernel reads it, with the values the layer sets (SgEnd reads the statuses). Free of Linux
// headers, so that the translation builds and is tested anywhere; SgIoctl.cpp checks the layout
// against <scsi/sg.h>.
#pragma once

#include <cstdint>

struct SgIoHeader {
    int32_t interfaceId; // 'S'
    int32_t dxferDirection;
    uint8_t cmdLen;
    uint8_t mxSbLen; // room for sense data at sbp
    uint16_t iovecCount;
    uint32_t dxferLen;
    void* dxferp;
    uint8_t* cmdp;
    uint8_t* sbp;
    uint32_t timeout; // milliseconds
    uint32_t flags;
    int32_t packId;
    void* usrPtr;
    // Written by the kernel.
    uint8_t status; // the SCSI status byte as the target sent it
    uint8_t maskedStatus;
    uint8_t msgStatus;
    uint8_t sbLenWr; // sense bytes written at sbp
    uint16_t hostStatus;
    uint16_t driverStatus;
    int32_t resid;     // dxferLen less the bytes that moved
    uint32_t duration; // milliseconds
    uint32_t info;
};

namespace Sg {
enum : int32_t {
    kInterfaceId = 'S',
    kDxferNone = -1,
    kDxferToDevice = -2,
    kDxferFromDevice = -3,
};
} // namespace Sg
