// The behaviour of one simulated device, command by command.
#include "SimDevice.h"

#include <cstring>

#include "scsi/AspiTypes.h"
#include "scsi/ScsiCodes.h"
#include "scsi/SenseData.h"

namespace {

const uint8_t kAscInvalidOpcode = 0x20;
const uint8_t kAscInvalidFieldInCdb = 0x24;
const uint8_t kAscInvalidFieldInParameters = 0x26;
const uint8_t kAscMediumNotPresent = 0x3A;
const uint8_t kAscRemovalPrevented = 0x53;
const uint8_t kAscqRemovalPrevented = 0x02;

void SetHostError(SimOutcome& outcome)
{
    outcome.srbStatus = SS_ERR;
    // A data phase that does not match the request (data over- or underrun): what an
    // adapter reports when the direction bits contradict the command.
    outcome.hostStatus = HASTAT_DO_DU;
    outcome.targetStatus = ScsiStatus::kGood;
}

} // namespace

SimDevice::SimDevice()
    : adapter(0), target(0), kind(kSimRaw), mediumLoaded(1), prevented(0), flashCount(0),
      commandCount(0), declaredLine(0)
{
    std::memset(inquiry, 0, sizeof inquiry);
}

void SimDevice::SetIdentity(uint8_t kindValue, uint8_t peripheral, uint8_t byte1, uint8_t byte2,
                            uint8_t byte3, const uint8_t* vendor, const uint8_t* product,
                            const uint8_t* revision)
{
    kind = kindValue;
    std::memset(inquiry, 0, sizeof inquiry);
    inquiry[0] = peripheral;
    inquiry[1] = byte1;
    inquiry[2] = byte2;
    inquiry[3] = byte3;
    inquiry[4] = kInquiryLength - 5; // additional length: 31
    std::memcpy(inquiry + 8, vendor, 8);
    std::memcpy(inquiry + 16, product, 16);
    std::memcpy(inquiry + 32, revision, 4);
}

bool SimDevice::AddFault(const SimFaultRule& rule)
{
    if (faults.size() >= kMaxFaults)
        return false;
    faults.push_back(rule);
    return true;
}

uint8_t SimDevice::Classify(const uint8_t* cdb)
{
    switch (cdb[0]) {
    case ScsiOp::kInquiry:
        return kCmdInquiry;
    case ScsiOp::kTestUnitReady:
        return kCmdTur;
    case ScsiOp::kPreventAllowMediumRemoval:
        return kCmdPrevent;
    case ScsiOp::kStartStopUnit:
        // Byte 4: bit 1 LoEj, bit 0 Start.
        if ((cdb[4] & 0x03) == 0x02)
            return kCmdUnload;
        if ((cdb[4] & 0x03) == 0x03)
            return kCmdLoad;
        return kCmdOther;
    case ScsiOp::kVendorDownload:
        if (cdb[2] == DownloadOp::kProbe)
            return kCmdProbe;
        if (cdb[2] == DownloadOp::kWrite)
            return kCmdWrite;
        return kCmdOther;
    default:
        return kCmdOther;
    }
}

uint8_t SimDevice::NaturalDirection(const uint8_t* cdb)
{
    uint8_t commandKind = Classify(cdb);
    if (commandKind == kCmdInquiry)
        return kDirIn;
    if (commandKind == kCmdWrite)
        return kDirOut;
    return kDirNone;
}

bool SimDevice::FindRecordRevision(const uint8_t* code, uint32_t length, uint8_t* revision)
{
    static const uint8_t pattern[5] = {0x05, 0x80, 0x00, 0x21, 0x1F};
    bool found = false;
    uint32_t k = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = code[i];
        // A byte that breaks a partial match is not tried again as a first byte.
        if (b == pattern[k] || (k == 3 && b == 0x32))
            ++k;
        else
            k = 0;
        if (k < 5)
            continue;
        k = 0;
        // The record starts at i - 4; its revision is record bytes 32 to 35. A record
        // cut off by the end of the code carries no revision.
        if (length - i <= 31)
            continue;
        std::memcpy(revision, code + i + 28, 4);
        found = true;
    }
    return found;
}

void SimDevice::SetCheck(SimOutcome& outcome, uint8_t key, uint8_t asc, uint8_t ascq)
{
    outcome.srbStatus = SS_ERR;
    outcome.targetStatus = ScsiStatus::kCheckCondition;
    outcome.hasSense = 1;
    std::memset(outcome.sense, 0, sizeof outcome.sense);
    outcome.sense[0] = 0x70; // current error, fixed format
    outcome.sense[2] = key & 0x0F;
    outcome.sense[7] = kSenseLength - 8; // additional sense length: 10
    outcome.sense[12] = asc;
    outcome.sense[13] = ascq;
}

SimFaultRule* SimDevice::ActiveFault(uint8_t commandKind)
{
    for (SimFaultRule& rule : faults) {
        if (rule.remaining == 0)
            continue;
        if (rule.command != kCmdAny && rule.command != commandKind)
            continue;
        if (rule.remaining > 0)
            --rule.remaining;
        return &rule;
    }
    return nullptr;
}

void SimDevice::Execute(const SimCommand& command, SimOutcome& outcome)
{
    SimFaultRule rule = TakeFault(command.cdb);
    TimeOutcome(rule, outcome);
    if (outcome.srbStatus == SS_PENDING)
        return;
    Finish(command, rule, outcome);
}

SimFaultRule SimDevice::TakeFault(const uint8_t* cdb)
{
    ++commandCount;
    SimFaultRule none;
    std::memset(&none, 0, sizeof none);
    SimFaultRule* rule = ActiveFault(Classify(cdb));
    return rule != nullptr ? *rule : none;
}

void SimDevice::TimeOutcome(const SimFaultRule& rule, SimOutcome& outcome)
{
    std::memset(&outcome, 0, sizeof outcome);
    outcome.srbStatus = SS_COMP;
    if (rule.timing == kTimingDelay)
        outcome.delayMs = rule.delayMs;
    if (rule.timing != kTimingHang && rule.timing != kTimingKeep && rule.timing != kTimingPause)
        return;
    outcome.srbStatus = SS_PENDING;
    outcome.hang = rule.timing == kTimingHang;
    outcome.keep = rule.timing == kTimingKeep;
    outcome.pause = rule.timing == kTimingPause;
}

void SimDevice::Finish(const SimCommand& command, const SimFaultRule& rule, SimOutcome& outcome)
{
    uint32_t delayMs = outcome.delayMs;
    std::memset(&outcome, 0, sizeof outcome);
    outcome.srbStatus = SS_COMP;
    outcome.delayMs = delayMs;
    uint8_t result = rule.timing == kTimingPause ? static_cast<uint8_t>(kFaultNone) : rule.result;
    if (result == kFaultCheck) {
        SetCheck(outcome, rule.senseKey, rule.asc, rule.ascq);
        return;
    }
    if (result == kFaultStatus) {
        outcome.srbStatus = rule.srbStatus;
        return;
    }
    RunCommand(command, Classify(command.cdb), outcome);
    if (result != kFaultSenseWithGood || outcome.srbStatus != SS_COMP)
        return;
    // Some layers report SS_COMP and still leave the drive's sense data behind.
    SetCheck(outcome, rule.senseKey, rule.asc, rule.ascq);
    outcome.srbStatus = SS_COMP;
    outcome.targetStatus = ScsiStatus::kGood;
    outcome.delayMs = delayMs;
}

void SimDevice::RunCommand(const SimCommand& command, uint8_t commandKind, SimOutcome& outcome)
{
    const uint8_t* cdb = command.cdb;
    if (commandKind == kCmdInquiry) {
        RunInquiry(command, outcome);
        return;
    }
    if (commandKind == kCmdTur) {
        if (!mediumLoaded)
            SetCheck(outcome, SenseData::kNotReady, kAscMediumNotPresent, 0);
        return;
    }
    if (kind == kSimRaw) {
        SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidOpcode, 0);
        return;
    }
    if (kind == kSimDisk) {
        // A fixed disk accepts the medium commands and has nothing to lock or eject.
        if (cdb[0] == ScsiOp::kStartStopUnit || cdb[0] == ScsiOp::kPreventAllowMediumRemoval)
            return;
        SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidOpcode, 0);
        return;
    }
    if (commandKind == kCmdPrevent) {
        prevented = cdb[4] & 0x01;
        return;
    }
    if (commandKind == kCmdUnload || commandKind == kCmdLoad || cdb[0] == ScsiOp::kStartStopUnit) {
        RunStartStop(commandKind, outcome);
        return;
    }
    if (cdb[0] != ScsiOp::kVendorDownload || kind != kSimRvx) {
        SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidOpcode, 0);
        return;
    }
    if (commandKind == kCmdProbe)
        return;
    if (commandKind == kCmdWrite) {
        RunWrite(command, outcome);
        return;
    }
    SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidFieldInCdb, 0);
}

void SimDevice::RunInquiry(const SimCommand& command, SimOutcome& outcome)
{
    if (command.direction != kDirIn) {
        SetHostError(outcome);
        return;
    }
    // EVPD pages are not supported; without EVPD the page code must be 0.
    if ((command.cdb[1] & 0x01) != 0 || command.cdb[2] != 0) {
        SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidFieldInCdb, 0);
        return;
    }
    uint32_t allocation = command.cdb[4];
    std::memset(outcome.dataIn, 0, sizeof outcome.dataIn);
    std::memcpy(outcome.dataIn, inquiry, kInquiryLength);
    outcome.dataInLength = allocation;
}

void SimDevice::RunStartStop(uint8_t commandKind, SimOutcome& outcome)
{
    if (commandKind == kCmdLoad) {
        mediumLoaded = 1;
        return;
    }
    if (commandKind != kCmdUnload)
        return; // spinning up or down without LoEj: nothing to model
    if (prevented) {
        SetCheck(outcome, SenseData::kIllegalRequest, kAscRemovalPrevented, kAscqRemovalPrevented);
        return;
    }
    mediumLoaded = 0;
}

void SimDevice::RunWrite(const SimCommand& command, SimOutcome& outcome)
{
    if (command.direction != kDirOut) {
        SetHostError(outcome);
        return;
    }
    // Bytes 7 and 8 carry the payload length, most significant byte first.
    uint32_t cdbLength = (uint32_t(command.cdb[7]) << 8) | command.cdb[8];
    if (cdbLength != kPayloadLength || command.bufLen != kPayloadLength ||
        command.dataOut == nullptr || command.dataOutLength != kPayloadLength) {
        SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidFieldInCdb, 0);
        return;
    }
    const uint8_t* payload = command.dataOut;
    uint16_t sum = 0;
    for (uint32_t i = 0; i < kCodeLength; ++i)
        sum = static_cast<uint16_t>(sum + payload[i]);
    uint16_t sent = static_cast<uint16_t>(payload[kCodeLength] | (payload[kCodeLength + 1] << 8));
    if (sum != sent) {
        SetCheck(outcome, SenseData::kIllegalRequest, kAscInvalidFieldInParameters, 0);
        return;
    }
    uint8_t revision[4];
    if (FindRecordRevision(payload, kCodeLength, revision))
        std::memcpy(inquiry + 32, revision, 4);
    ++flashCount;
}

void SimDevice::GetInfo(SimDeviceInfo& info) const
{
    std::memset(&info, 0, sizeof info);
    std::memcpy(info.revision, inquiry + 32, 4);
    info.peripheral = inquiry[0];
    info.mediumLoaded = mediumLoaded;
    info.prevented = prevented;
    info.flashCount = flashCount;
    info.commandCount = commandCount;
}
