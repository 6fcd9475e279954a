// ScsiDevice's lines in the command trace: each request as it goes to the ASPI layer,
// how it ended, and what discovery found. Nothing here is run while the trace is off.
#include <cstdio>
#include <cstring>

#include "base/FormatText.h"
#include "scsi/ScsiDevice.h"
#include "scsi/SenseData.h"
#include "trace/Trace.h"

namespace {

struct StatusName {
    uint8_t status;
    const char* name;
};

const StatusName kStatusNames[] = {
    {SS_PENDING, "SS_PENDING"},
    {SS_COMP, "SS_COMP"},
    {SS_ABORTED, "SS_ABORTED"},
    {SS_ABORT_FAIL, "SS_ABORT_FAIL"},
    {SS_ERR, "SS_ERR"},
    {SS_INVALID_CMD, "SS_INVALID_CMD"},
    {SS_INVALID_HA, "SS_INVALID_HA"},
    {SS_NO_DEVICE, "SS_NO_DEVICE"},
    {SS_INVALID_SRB, "SS_INVALID_SRB"},
    {SS_NO_ADAPTERS, "SS_NO_ADAPTERS"},
};

// "SS_COMP", or "status 0xE6" for a value without a published name.
void NameStatus(uint8_t status, char* out, size_t size)
{
    for (const StatusName& entry : kStatusNames) {
        if (entry.status == status) {
            FormatText(out, size, "%s", entry.name);
            return;
        }
    }
    FormatText(out, size, "status 0x%02X", static_cast<unsigned>(status));
}

// "12 00 00 ..." for the bytes of the request; room for 16 bytes.
void CommandBytes(const uint8_t* cdb, unsigned length, char* out, size_t size)
{
    size_t used = 0;
    out[0] = '\0';
    for (unsigned i = 0; i < length && used + 4 <= size; ++i) {
        FormatText(out + used, size - used, i == 0 ? "%02X" : " %02X",
                   static_cast<unsigned>(cdb[i]));
        used += i == 0 ? 2 : 3;
    }
    out[used] = '\0';
}

// "in 46 bytes", "out 63490 bytes", "no data".
void DataPhase(uint8_t direction, uint32_t length, char* out, size_t size)
{
    if (length == 0)
        FormatText(out, size, "no data");
    else
        FormatText(out, size, "%s %lu bytes", direction == SRB_DIR_OUT ? "out" : "in",
                   static_cast<unsigned long>(length));
}

} // namespace

uint32_t ScsiDevice::TraceRequest() const
{
    if (!Trace::IsOn())
        return 0;
    char bytes[64];
    CommandBytes(srb.CDBByte, srb.SRB_CDBLen, bytes, sizeof bytes);
    char data[32];
    DataPhase(pending.direction, pending.dataLength, data, sizeof data);
    Trace::Line("scsi %u:%u > %s | %s, flags %02X, time-out %lu ms",
                static_cast<unsigned>(adapterId), static_cast<unsigned>(targetId), bytes, data,
                static_cast<unsigned>(srb.SRB_Flags),
                static_cast<unsigned long>(pending.timeoutMs));
    return Trace::Now();
}

void ScsiDevice::TraceNotSent(const char* reason) const
{
    if (!Trace::IsOn())
        return;
    char bytes[64];
    CommandBytes(pending.cdb, pending.cdbLength, bytes, sizeof bytes);
    Trace::Line("scsi %u:%u - %s | not sent: %s", static_cast<unsigned>(adapterId),
                static_cast<unsigned>(targetId), bytes, reason);
}

void ScsiDevice::TraceResult(uint32_t sentAt, bool succeeded) const
{
    if (!Trace::IsOn())
        return;
    char status[32];
    NameStatus(srb.SRB_Status, status, sizeof status);
    // The drive's sense data came back only when the response code is set.
    char sense[96] = "no sense";
    if (srb.SenseArea[0] != 0) {
        std::memcpy(sense, "sense ", 6);
        SenseData::Describe(senseKey, asc, ascq, sense + 6, static_cast<int>(sizeof sense - 6));
    }
    Trace::Line("scsi %u:%u < %s, host %02X, target %02X, %s, %lu ms: %s",
                static_cast<unsigned>(adapterId), static_cast<unsigned>(targetId), status,
                static_cast<unsigned>(srb.SRB_HaStat), static_cast<unsigned>(srb.SRB_TargStat),
                sense, static_cast<unsigned long>(Trace::Now() - sentAt),
                succeeded ? "good" : "failed");
}

void ScsiDevice::TraceTimeOut(uint32_t sentAt, bool abortAnswered, bool givenBack) const
{
    if (!Trace::IsOn())
        return;
    Trace::Line("scsi %u:%u < no completion after %lu ms (time-out %lu ms): failed; abort %s, "
                "%s",
                static_cast<unsigned>(adapterId), static_cast<unsigned>(targetId),
                static_cast<unsigned long>(Trace::Now() - sentAt),
                static_cast<unsigned long>(pending.timeoutMs),
                abortAnswered ? "answered SS_COMP" : "refused",
                givenBack ? "the layer gave the request back"
                          : "the layer keeps the request: the block stays out of use");
}

void ScsiDevice::TraceProbe(unsigned a, unsigned t, bool answered, const DriveEntry* recorded) const
{
    if (!Trace::IsOn())
        return;
    if (!answered) {
        Trace::Line("discovery %u:%u: no answer", a, t);
        return;
    }
    DriveEntry seen;
    CopyInquiryStrings(seen.modelName, seen.revision);
    unsigned type = bufferBlock[0];
    if (recorded == nullptr) {
        Trace::Line("discovery %u:%u: type %02X '%s' '%s', not recorded", a, t, type,
                    seen.modelName, seen.revision);
        return;
    }
    char letter[8] = "none";
    if (recorded->driveLetter != ' ')
        FormatText(letter, sizeof letter, "%c:", recorded->driveLetter);
    Trace::Line("discovery %u:%u: type %02X '%s' '%s', drive %u, letter %s", a, t, type,
                seen.modelName, seen.revision, static_cast<unsigned>(driveCount), letter);
}
