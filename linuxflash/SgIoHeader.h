// The request block of Linux's SG_IO ioctl (struct sg_io_hdr, interface 'S'), laid out as
// the kernel reads it, with the values the layer uses. Free of Linux headers, so that the
// translation builds and is tested anywhere; SgIoctl.cpp checks the layout against
// <scsi/sg.h>.
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
// hostStatus: how the host adapter's driver ended the command (the kernel's DID_ codes).
enum : uint16_t {
    kHostOk = 0x00,
    kHostNoConnect = 0x01,
    kHostTimeOut = 0x03, // the time-out passed; the kernel has aborted the command
    kHostAbort = 0x05,
};
// driverStatus, low nibble: older kernels say a time-out here.
enum : uint16_t { kDriverTimeout = 0x06 };
} // namespace Sg
