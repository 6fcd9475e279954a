// Reading the end of an SG_IO call.
#include "SgEnd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scsi/ScsiCodes.h"

namespace {

// The low nibble of driver_status (the kernel's DRIVER_ codes; the high one held the
// mid-layer's suggestion on older kernels).
enum : uint8_t { kDriverOk = 0x00, kDriverTimeout = 0x06, kDriverSense = 0x08 };

// The kernel's host statuses (DID_), and what each is as the end of a pass-through.
struct HostStatus {
    uint16_t value;
    const char* name;
    PassThroughEnd::Kind kind;
    uint8_t aspi; // HASTAT_ of kFailed; HASTAT_OK where ASPI has no word for it
    bool gone;    // the device is no longer reachable
};

const HostStatus kHostStatuses[] = {
    {0x00, "DID_OK", PassThroughEnd::kCompleted, HASTAT_OK, false},
    {0x01, "DID_NO_CONNECT", PassThroughEnd::kFailed, HASTAT_SEL_TO, true},
    {0x02, "DID_BUS_BUSY", PassThroughEnd::kFailed, HASTAT_TIMEOUT, false},
    {0x03, "DID_TIME_OUT", PassThroughEnd::kTimedOut, HASTAT_COMMAND_TIMEOUT, false},
    {0x04, "DID_BAD_TARGET", PassThroughEnd::kFailed, HASTAT_SEL_TO, true},
    // The kernel took the command back (its error handling, or the device going away).
    {0x05, "DID_ABORT", PassThroughEnd::kCancelled, HASTAT_OK, false},
    {0x06, "DID_PARITY", PassThroughEnd::kFailed, HASTAT_PARITY_ERROR, false},
    {0x07, "DID_ERROR", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x08, "DID_RESET", PassThroughEnd::kFailed, HASTAT_BUS_RESET, false},
    {0x09, "DID_BAD_INTR", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x0A, "DID_PASSTHROUGH", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x0B, "DID_SOFT_ERROR", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x0C, "DID_IMM_RETRY", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x0D, "DID_REQUEUE", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x0E, "DID_TRANSPORT_DISRUPTED", PassThroughEnd::kFailed, HASTAT_BUS_FREE, false},
    {0x0F, "DID_TRANSPORT_FAILFAST", PassThroughEnd::kFailed, HASTAT_SEL_TO, true},
    {0x10, "DID_TARGET_FAILURE", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x11, "DID_NEXUS_FAILURE", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x12, "DID_ALLOC_FAILURE", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x13, "DID_MEDIUM_ERROR", PassThroughEnd::kFailed, HASTAT_OK, false},
    {0x14, "DID_TRANSPORT_MARGINAL", PassThroughEnd::kFailed, HASTAT_OK, false},
};

const HostStatus* FindHostStatus(uint16_t value)
{
    for (const HostStatus& status : kHostStatuses) {
        if (status.value == value)
            return &status;
    }
    return nullptr;
}

uint32_t BigEndian32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

void PutBigEndian32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

} // namespace

SgEnd::SgEnd(const SgIoHeader& header, int callError, const uint8_t* data, const uint8_t* sense)
    : end(), driveGone(false), fixedSense{}
{
    end.kind = PassThroughEnd::kFailed;
    if (callError != 0) {
        FromCallError(callError);
        return;
    }
    uint8_t driver = header.driverStatus & 0x0F;
    if (header.hostStatus != 0 || (driver != kDriverOk && driver != kDriverSense)) {
        FromHostStatus(header.hostStatus, header.driverStatus);
        return;
    }
    FromTarget(header, data, sense);
}

const char* SgEnd::HostStatusName(uint16_t hostStatus)
{
    const HostStatus* status = FindHostStatus(hostStatus);
    return status != nullptr ? status->name : nullptr;
}

void SgEnd::FromCallError(int callError)
{
    // ENODEV and ENXIO: the device was removed under the open descriptor. EPERM: the
    // kernel's command filter refused the command (no CAP_SYS_RAWIO).
    driveGone = callError == ENODEV || callError == ENXIO;
    end.hostStatus = driveGone ? HASTAT_SEL_TO : HASTAT_OK;
    char text[96];
    std::snprintf(text, sizeof text, "errno %d (%s)", callError, std::strerror(callError));
    word = text;
}

void SgEnd::FromHostStatus(uint16_t hostStatus, uint16_t driverStatus)
{
    const HostStatus* status = FindHostStatus(hostStatus);
    if ((driverStatus & 0x0F) == kDriverTimeout) {
        end.kind = PassThroughEnd::kTimedOut; // said so by an older kernel's driver status
    } else if (status != nullptr && status->value != 0) {
        end.kind = status->kind;
        end.hostStatus = status->aspi;
        driveGone = status->gone;
    }
    char text[64];
    if (status != nullptr)
        std::snprintf(text, sizeof text, "host %s, driver %02X", status->name,
                      static_cast<unsigned>(driverStatus));
    else
        std::snprintf(text, sizeof text, "host %02X, driver %02X",
                      static_cast<unsigned>(hostStatus), static_cast<unsigned>(driverStatus));
    word = text;
}

void SgEnd::FromTarget(const SgIoHeader& header, const uint8_t* data, const uint8_t* sense)
{
    end.kind = PassThroughEnd::kCompleted;
    end.scsiStatus = header.status;
    int32_t resid = header.resid < 0 ? 0 : header.resid;
    end.transferred = static_cast<uint32_t>(resid) < header.dxferLen
                          ? header.dxferLen - static_cast<uint32_t>(resid)
                          : 0;
    end.dataIn = data;
    end.sense = sense;
    end.senseLength = header.sbLenWr;
    if (FixedFromDescriptor(sense, header.sbLenWr, fixedSense)) {
        char text[64];
        std::snprintf(text, sizeof text, "sense in descriptor format (%02Xh), passed on as fixed",
                      static_cast<unsigned>(sense[0] & 0x7F));
        word = text;
        end.sense = fixedSense;
        end.senseLength = kFixedSenseBytes;
    }
    // Some bridges end a command GOOD and still say, through the driver status, that
    // sense was read: the sense key decides, as it does for a CHECK CONDITION.
    bool senseRead = (header.driverStatus & 0x0F) == kDriverSense && end.senseLength >= 3;
    if (end.scsiStatus == ScsiStatus::kGood && senseRead) {
        uint8_t key = static_cast<uint8_t>(
            ((end.sense[0] & 0x7F) >= 0x72 ? end.sense[1] : end.sense[2]) & 0x0F);
        if (key != 0x0 && key != 0x1) { // neither NO SENSE nor RECOVERED ERROR
            end.scsiStatus = ScsiStatus::kCheckCondition;
            word += word.empty() ? "sense with status GOOD, taken as CHECK CONDITION"
                                 : "; with status GOOD, taken as CHECK CONDITION";
        }
    }
}

bool SgEnd::FixedFromDescriptor(const uint8_t* sense, uint32_t length, uint8_t* fixed)
{
    if (length < 8 || ((sense[0] & 0x7F) != 0x72 && (sense[0] & 0x7F) != 0x73))
        return false;
    uint8_t out[kFixedSenseBytes] = {};
    out[0] = (sense[0] & 0x7F) == 0x72 ? 0x70 : 0x71; // current or deferred
    out[2] = sense[1] & 0x0F;
    out[7] = kFixedSenseBytes - 8;
    out[12] = sense[2];
    out[13] = sense[3];
    uint32_t end = 8u + sense[7] < length ? 8u + sense[7] : length;
    // Descriptors: type, length of what follows, then their fields.
    for (uint32_t at = 8; at + 2 <= end;) {
        const uint8_t* d = sense + at;
        uint32_t size = 2u + d[1];
        if (at + size > end)
            break;
        switch (d[0]) {
        case 0x00: // information; fixed format holds its low 32 bits, valid only if it fits
            if (size >= 12) {
                bool fits = BigEndian32(d + 4) == 0;
                PutBigEndian32(out + 3, BigEndian32(d + 8));
                if ((d[2] & 0x80) && fits)
                    out[0] |= 0x80;
            }
            break;
        case 0x01: // command-specific information
            if (size >= 12)
                PutBigEndian32(out + 8, BigEndian32(d + 8));
            break;
        case 0x02: // sense-key specific
            if (size >= 7)
                std::memcpy(out + 15, d + 4, 3);
            break;
        case 0x03: // field replaceable unit
            if (size >= 4)
                out[14] = d[3];
            break;
        case 0x04: // stream commands: FILEMARK, EOM, ILI
        case 0x05: // block commands: ILI
            if (size >= 4)
                out[2] |= d[3] & 0xE0;
            break;
        }
        at += size;
    }
    std::memcpy(fixed, out, sizeof out);
    return true;
}
