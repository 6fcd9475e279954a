// The request blocks and codes that only a layer and a lister need beyond those the
// downloader uses (scsi/AspiTypes.h): the host adapter inquiry, the device type query,
// the layer's own status and host adapter status codes. Free of <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scsi/AspiTypes.h"

// SRB_Status values beyond those of AspiTypes.h.
enum : uint8_t {
    SS_BUFFER_TO_BIG = 0xE6,
    SS_INSUFFICIENT_RESOURCES = 0xE9,
};

// SRB_Flags: on completion SRB_BufLen holds the residual byte count.
enum : uint8_t { SRB_ENABLE_RESIDUAL_COUNT = 0x04 };

// SRB_HaStat values.
enum : uint8_t {
    HASTAT_OK = 0x00,
    HASTAT_COMMAND_TIMEOUT = 0x0B,
    HASTAT_DO_DU = 0x12, // data overrun or underrun
};

// INQUIRY peripheral device type of a CD-ROM drive.
enum : uint8_t { DTYPE_CDROM = 0x05 };

#pragma pack(push, 1)
struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    // Bytes 0-1 buffer alignment mask, 3 maximum targets, 4-7 maximum transfer length.
    uint8_t HA_Unique[16];
    uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};
#pragma pack(pop)

static_assert(sizeof(SRB_HAInquiry) == 60, "SRB_HAInquiry is 60 bytes");
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 0x08, "HA_Count");
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 0x2A, "HA_Unique");
static_assert(sizeof(SRB_GDEVBlock) == 12, "SRB_GDEVBlock is 12 bytes");
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 0x0A, "SRB_DeviceType");
