// The request side of ScsiDevice: construction, addressing, the pending request, its
// execution through the ASPI layer, the sense results and drive discovery. Nothing here
// touches Windows directly.
#include "scsi/ScsiDevice.h"

#include <cstdlib>
#include <cstring>

#include "base/InquiryLayout.h"
#include "scsi/ScsiCodes.h"
#include "scsi/SenseData.h"
#include "trace/Trace.h"

namespace {

// INQUIRY, allocation length 36: enough for vendor, product and revision.
const uint8_t kInquiryProbe[12] = {ScsiOp::kInquiry, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kTypeCdrom = 0x05; // peripheral qualifier 0, device type 5
const unsigned kDriveUnknown = 0;
const unsigned kDriveCdrom = 5;
// After a time-out the request is aborted; a layer that honours the abort gives the
// block back within this time.
const uint32_t kAbortGraceMs = 2000;

void BlankNuls(char* text, int length)
{
    for (int i = 0; i < length; ++i) {
        if (text[i] == '\0')
            text[i] = ' ';
    }
}

} // namespace

ScsiDevice::ScsiDevice(int requestedSize)
    : adapterCount(0), adapterId(0), targetId(0), pending(), bufferBlock(nullptr),
      bufferCapacity(0), senseKey(0), asc(0), ascq(0), timedOut(false), isWindows9x(false),
      driveCount(0), requestHeld(false)
{
    pending.direction = SRB_DIR_IN;
    pending.timeoutMs = kDefaultTimeoutMs;
    std::memset(drives, 0, sizeof drives);
    // A negative request would wrap to a huge capacity over a tiny block.
    if (requestedSize < 0)
        requestedSize = 0;
    bufferCapacity =
        static_cast<uint32_t>(requestedSize <= int(kMaxBuffer) ? requestedSize : int(kMaxBuffer));
    // Ten spare bytes behind the usable capacity, as the transfer block always had.
    bufferBlock = static_cast<uint8_t*>(std::calloc(bufferCapacity + 10, 1));
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Status = SS_COMP; // CommandSucceeded reads true before the first command
    BindPlatform();
}

ScsiDevice::~ScsiDevice()
{
    // A layer that still owns a request may still write into it: it keeps its module.
    if (requestHeld)
        layer.Abandon();
    std::free(bufferBlock);
}

void ScsiDevice::AttachLayer(LinkedAspiLayer& linked)
{
    layer.Bind(linked);
    ReadAdapterCount();
}

void ScsiDevice::ReadAdapterCount()
{
    adapterCount = 0;
    // Status in bits 15-8, number of host adapters in bits 7-0.
    uint32_t info = layer.SupportInfo();
    if (((info >> 8) & 0xFF) == SS_COMP)
        adapterCount = static_cast<uint8_t>(info & 0xFF);
    Trace::Line("aspi: support word %04lX, %u host adapter(s)",
                static_cast<unsigned long>(info & 0xFFFF), static_cast<unsigned>(adapterCount));
}

ScsiDevice& ScsiDevice::SetAdapter(uint8_t id)
{
    adapterId = id;
    return *this;
}

ScsiDevice& ScsiDevice::SetTarget(uint8_t id)
{
    targetId = id;
    return *this;
}

ScsiDevice& ScsiDevice::SelectDrive(uint8_t index)
{
    if (index >= driveCount)
        return *this;
    adapterId = drives[index].adapterId;
    targetId = drives[index].targetId;
    return *this;
}

void ScsiDevice::SetCommandBlock(const uint8_t* bytes, uint8_t dir, uint32_t length)
{
    std::memcpy(pending.cdb, bytes, 12);
    pending.cdbLength = 12;
    pending.direction = dir;
    pending.dataLength = length;
}

void ScsiDevice::SetCommandBlock10(const uint8_t* bytes, uint8_t dir, uint32_t length)
{
    std::memcpy(pending.cdb, bytes, 10);
    pending.cdbLength = 10;
    pending.direction = dir;
    pending.dataLength = length;
}

bool ScsiDevice::ReclaimHeldRequest()
{
    if (!requestHeld)
        return true;
    if (!AspiLayer::Reclaim(srb))
        return false;
    requestHeld = false;
    return true;
}

bool ScsiDevice::ExecuteCommand()
{
    if (!ReclaimHeldRequest()) {
        // Still the request of an earlier command: nothing of the block may change.
        senseKey = 0;
        timedOut = true;
        TraceNotSent("the layer still holds the request of an earlier command");
        return false;
    }
    if (adapterId >= adapterCount || !layer.IsBound()) {
        TraceNotSent("no such host adapter");
        return false;
    }
    if (!AspiLayer::Arm(srb)) {
        TraceNotSent("no completion event");
        return false;
    }

    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapterId;
    // Windows 9x ASPI layers take the direction from the command and reject the
    // direction bits; NT layers need them.
    srb.SRB_Flags =
        static_cast<uint8_t>(isWindows9x ? SRB_EVENT_NOTIFY : pending.direction | SRB_EVENT_NOTIFY);
    srb.SRB_Target = targetId;
    srb.SRB_Lun = 0;
    srb.SRB_BufLen = pending.dataLength;
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.SRB_BufPointer = bufferBlock;
    srb.SRB_CDBLen = pending.cdbLength;
    std::memcpy(srb.CDBByte, pending.cdb, pending.cdbLength);
    std::memset(srb.SenseArea, 0, ASPI_SENSE_LEN);
    senseKey = 0;
    timedOut = false;

    uint32_t sentAt = TraceRequest();
    AspiRoundTrip trip = layer.Run(srb, pending.timeoutMs, kAbortGraceMs);
    if (trip.timedOut) {
        timedOut = true;
        TraceTimeOut(sentAt, trip.abortAnswered, trip.givenBack);
        requestHeld = !trip.givenBack;
        return false;
    }
    ExtractSense();
    bool succeeded = CommandSucceeded();
    TraceResult(sentAt, succeeded);
    return succeeded;
}

bool ScsiDevice::AbortCommand()
{
    if (!layer.IsBound())
        return false;
    return layer.Abort(adapterId, &srb) == SS_COMP;
}

void ScsiDevice::ExtractSense()
{
    SenseData sense = SenseData::FromArea(srb.SenseArea);
    senseKey = sense.key;
    asc = sense.asc;
    ascq = sense.ascq;
}

// The layer's answer to SendASPI32Command is not part of the test: SRB_Status is, and a
// drive that returned sense data failed even when the layer reports SS_COMP.
bool ScsiDevice::CommandSucceeded() const
{
    return srb.SRB_Status == SS_COMP && srb.SenseArea[0] == 0 && !timedOut;
}

void ScsiDevice::CopyInquiryStrings(char* modelName, char* revision) const
{
    using namespace InquiryLayout;
    std::memcpy(modelName, bufferBlock + kVendorOffset, kVendorLength);
    std::memcpy(modelName + kVendorLength, bufferBlock + kProductOffset, kProductLength);
    std::memcpy(revision, bufferBlock + kRevisionOffset, kRevisionLength);
    modelName[kIdentificationLength] = '\0';
    revision[kRevisionLength] = '\0';
    BlankNuls(modelName, kIdentificationLength);
    BlankNuls(revision, kRevisionLength);
}

// Pairs the n-th CD-ROM device found over ASPI with the n-th CD-ROM drive letter: ASPI
// does not say which letter a device has. The letter search stops at the first letter
// that does not exist, and carries on from there for the next device.
void ScsiDevice::DiscoverDrives()
{
    driveCount = 0;
    char nextLetter = 'A';
    for (unsigned a = 0; a < adapterCount; ++a) {
        SetAdapter(static_cast<uint8_t>(a));
        for (uint8_t t = 0; t < 8; ++t) {
            SetTarget(t);
            SetCommandBlock(kInquiryProbe, SRB_DIR_IN, 36);
            if (!ExecuteCommand()) {
                TraceProbe(a, t, false, nullptr);
                continue;
            }
            if (bufferBlock[0] != kTypeCdrom || driveCount >= kMaxDrives) {
                TraceProbe(a, t, true, nullptr);
                continue;
            }
            DriveEntry& e = drives[driveCount];
            CopyInquiryStrings(e.modelName, e.revision);
            e.adapterId = static_cast<uint8_t>(a);
            e.targetId = t;
            e.driveLetter = ' ';
            while (nextLetter <= 'Z') {
                unsigned type = DriveTypeOfLetter(nextLetter);
                if (type == kDriveUnknown)
                    break;
                ++nextLetter;
                if (type == kDriveCdrom) {
                    e.driveLetter = static_cast<char>(nextLetter - 1);
                    break;
                }
            }
            TraceProbe(a, t, true, &e);
            ++driveCount;
        }
    }
    if (driveCount > 0) {
        adapterId = drives[0].adapterId;
        targetId = drives[0].targetId;
    } else {
        adapterId = 0;
        targetId = 0;
    }
    srb.SRB_Status = SS_COMP;
    Trace::Line("discovery: %u drive(s) on %u adapter(s), current %u:%u",
                static_cast<unsigned>(driveCount), static_cast<unsigned>(adapterCount),
                static_cast<unsigned>(adapterId), static_cast<unsigned>(targetId));
}
