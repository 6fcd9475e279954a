// Request blocks and constants of the ASPI for Win32 interface (WNASPI32.dll).
// Shared by the library, the simulated layer and our own layer; free of <windows.h> so
// that the platform-neutral code can use it.
#pragma once

#include <cstddef>
#include <cstdint>

// SRB_Cmd values.
enum : uint8_t {
    SC_HA_INQUIRY = 0x00,
    SC_GET_DEV_TYPE = 0x01,
    SC_EXEC_SCSI_CMD = 0x02,
    SC_ABORT_SRB = 0x03,
    SC_GETSET_TIMEOUTS = 0x08,
};

// SRB_Status values, also the status byte that SendASPI32Command returns.
enum : uint8_t {
    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ABORT_FAIL = 0x03,
    SS_ERR = 0x04,
    SS_INVALID_CMD = 0x80,
    SS_INVALID_HA = 0x81,
    SS_NO_DEVICE = 0x82,
    SS_INVALID_SRB = 0xE0,
    SS_NO_ADAPTERS = 0xE8,
};

// SRB_Flags bits.
enum : uint8_t {
    SRB_POSTING = 0x01,
    SRB_DIR_IN = 0x08,
    SRB_DIR_OUT = 0x10,
    SRB_EVENT_NOTIFY = 0x40,
};

// The drive writes up to 18 bytes of fixed-format sense data; the area has two spare bytes.
enum { ASPI_SENSE_LEN = 18, ASPI_SENSE_AREA = ASPI_SENSE_LEN + 2 };

#pragma pack(push, 1)
struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc; // completion event handle with SRB_EVENT_NOTIFY
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[ASPI_SENSE_AREA];
};

struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};
#pragma pack(pop)

// Every ASPI request block starts with this header.
struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
};

// The blocks and codes that only a layer and a lister use: the host adapter inquiry,
// the device type query, the layer's own status and host adapter status codes.
// SRB_Status values that only a layer reports.
enum : uint8_t {
    // The adapter cannot take the request now: our layer's answer while the system still
    // runs a call whose block it gave back after an abort. Neither the drive's answer nor
    // the caller's own abort: the drive is still busy with that earlier command.
    SS_ASPI_IS_BUSY = 0xE5,
    SS_BUFFER_TO_BIG = 0xE6,
    SS_INSUFFICIENT_RESOURCES = 0xE9,
};

// SRB_Flags: on completion SRB_BufLen holds the residual byte count.
enum : uint8_t { SRB_ENABLE_RESIDUAL_COUNT = 0x04 };

// SRB_HaStat values: how the host adapter ended a request that the target may never have
// seen.
enum : uint8_t {
    HASTAT_OK = 0x00,
    HASTAT_TIMEOUT = 0x09,         // timed out while waiting to be processed
    HASTAT_COMMAND_TIMEOUT = 0x0B, // timed out while the target processed it
    HASTAT_BUS_RESET = 0x0E,       // a bus reset was detected
    HASTAT_PARITY_ERROR = 0x0F,    // a parity error was detected
    HASTAT_SEL_TO = 0x11,          // selection time-out: no target answered
    HASTAT_DO_DU = 0x12,           // data overrun or underrun
    HASTAT_BUS_FREE = 0x13,        // unexpected bus free: the connection dropped
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

// SC_GETSET_TIMEOUTS: SRB_Flags SRB_DIR_IN reads, SRB_DIR_OUT sets the time-out of the
// commands to a device, in seconds; 0xFF in SRB_HaId, SRB_Target or SRB_Lun sets it for
// every adapter, target or LUN.
struct SRB_GetSetTimeouts {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint32_t SRB_Timeout;
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
static_assert(sizeof(SRB_GetSetTimeouts) == 14, "SRB_GetSetTimeouts is 14 bytes");
static_assert(offsetof(SRB_GetSetTimeouts, SRB_Timeout) == 0x0A, "SRB_Timeout");
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 0x0A, "SRB_DeviceType");

// The ASPI layer is a 32-bit DLL with a fixed binary interface: in the 32-bit build the
// blocks must match it byte for byte. The 64-bit test build talks only to our own layer.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SRB_ExecSCSICmd) == 84, "SRB_ExecSCSICmd is 84 bytes");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Cmd) == 0x00, "SRB_Cmd");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 0x01, "SRB_Status");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 0x02, "SRB_HaId");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 0x03, "SRB_Flags");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd) == 0x04, "SRB_Hdr_Rsvd");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 0x08, "SRB_Target");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 0x09, "SRB_Lun");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 0x0A, "SRB_Rsvd1");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 0x0C, "SRB_BufLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 0x10, "SRB_BufPointer");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 0x14, "SRB_SenseLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 0x15, "SRB_CDBLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 0x16, "SRB_HaStat");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 0x17, "SRB_TargStat");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 0x18, "SRB_PostProc");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 0x1C, "SRB_Rsvd2");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 0x30, "CDBByte");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 0x40, "SenseArea");
static_assert(sizeof(SRB_Abort) == 12, "SRB_Abort is 12 bytes");
static_assert(offsetof(SRB_Abort, SRB_HaId) == 0x02, "SRB_Abort.SRB_HaId");
static_assert(offsetof(SRB_Abort, SRB_Flags) == 0x03, "SRB_Abort.SRB_Flags");
static_assert(offsetof(SRB_Abort, SRB_Hdr_Rsvd) == 0x04, "SRB_Abort.SRB_Hdr_Rsvd");
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 0x08, "SRB_Abort.SRB_ToAbort");
#endif
