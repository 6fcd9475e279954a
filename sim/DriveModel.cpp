// Request checks, logging and delivery of the simulated ASPI layer.
#include "DriveModel.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

void StoreStatus(SRB_ExecSCSICmd* srb, uint8_t status)
{
    // The caller polls SRB_Status or waits for the event and then reads the rest of the
    // block: everything else must be visible before the status changes.
    std::atomic_thread_fence(std::memory_order_release);
    *reinterpret_cast<volatile uint8_t*>(&srb->SRB_Status) = status;
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

uint8_t ResolveDirection(const SRB_ExecSCSICmd* srb, const uint8_t* cdb)
{
    switch (srb->SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT)) {
    case SRB_DIR_IN:
        return kDirIn;
    case SRB_DIR_OUT:
        return kDirOut;
    case SRB_DIR_IN | SRB_DIR_OUT:
        return kDirBoth;
    default:
        // Windows 9x layers take no direction bits and know the direction of each command.
        return SimDevice::NaturalDirection(cdb);
    }
}

} // namespace

DriveModel::DriveModel() : firstSequence(0) {}

bool DriveModel::Configure(const char* text)
{
    SimScenario next;
    if (!next.Parse(text)) {
        lastError = next.error;
        return false;
    }
    scenario = next;
    ClearLog();
    lastError.clear();
    return true;
}

bool DriveModel::ConfigureFromFile(const char* path)
{
    scenario = SimScenario();
    ClearLog();
    std::string shownPath = path != nullptr ? path : "";
    std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        lastError = "cannot open scenario file '" + shownPath + "'";
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
           text.size() <= SimScenario::kMaxTextLength)
        text.append(chunk, got);
    std::fclose(file);
    if (text.size() > SimScenario::kMaxTextLength) {
        lastError =
            shownPath + ": longer than " + std::to_string(SimScenario::kMaxTextLength) + " bytes";
        return false;
    }
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
        lastError = shownPath + ": contains a NUL byte";
        return false;
    }
    SimScenario next;
    if (!next.Parse(text.c_str())) {
        lastError = shownPath + ": " + next.error;
        return false;
    }
    scenario = next;
    lastError.clear();
    return true;
}

uint8_t DriveModel::CheckRequest(const SRB_ExecSCSICmd* srb) const
{
    if (srb->SRB_HaId >= scenario.adapterCount)
        return SS_INVALID_HA;
    if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > sizeof srb->CDBByte)
        return SS_INVALID_SRB;
    if (srb->SRB_BufLen > kMaxTransfer)
        return SS_BUFFER_TO_BIG;
    if (srb->SRB_BufLen > 0 && srb->SRB_BufPointer == nullptr)
        return SS_INVALID_SRB;
    // Each device answers on logical unit 0 only.
    if (srb->SRB_Lun != 0 || scenario.FindDevice(srb->SRB_HaId, srb->SRB_Target) == nullptr)
        return SS_NO_DEVICE;
    return SS_PENDING;
}

uint8_t DriveModel::Refuse(SRB_ExecSCSICmd* srb, SimLogEntry& entry, uint8_t status)
{
    entry.record.finalStatus = status;
    log.push_back(entry);
    if (!scenario.refuseAll)
        StoreStatus(srb, status);
    return status;
}

uint8_t DriveModel::Accept(SRB_ExecSCSICmd* srb, SimSubmission& submission)
{
    std::memset(&submission, 0, sizeof submission);
    submission.sequence = firstSequence + log.size();

    SimLogEntry entry;
    SimRequestRecord& record = entry.record;
    std::memset(&record, 0, sizeof record);
    record.command = srb->SRB_Cmd;
    record.adapter = srb->SRB_HaId;
    record.target = srb->SRB_Target;
    record.lun = srb->SRB_Lun;
    record.flags = srb->SRB_Flags;
    record.cdbLength = srb->SRB_CDBLen;
    record.senseLength = srb->SRB_SenseLen;
    std::memcpy(record.cdb, srb->CDBByte, sizeof record.cdb);
    record.bufLen = srb->SRB_BufLen;
    record.bufPointerSet = srb->SRB_BufPointer != nullptr;

    // Wine's own stub answers every request this way without touching the block.
    if (scenario.refuseAll)
        return Refuse(srb, entry, SS_INVALID_SRB);
    uint8_t refused = CheckRequest(srb);
    if (refused != SS_PENDING)
        return Refuse(srb, entry, refused);

    SimCommand command;
    std::memset(&command, 0, sizeof command);
    std::memcpy(command.cdb, srb->CDBByte, srb->SRB_CDBLen);
    command.direction = ResolveDirection(srb, command.cdb);
    command.bufLen = srb->SRB_BufLen;
    submission.bufPointer = srb->SRB_BufPointer;
    submission.bufLen = srb->SRB_BufLen;
    submission.senseLen = srb->SRB_SenseLen;
    submission.adapter = srb->SRB_HaId;
    submission.target = srb->SRB_Target;
    submission.pending = 1;

    SimDevice* device = scenario.FindDevice(srb->SRB_HaId, srb->SRB_Target);
    SimFaultRule rule = device->TakeFault(command.cdb);
    SimDevice::TimeOutcome(rule, submission.outcome);
    if (scenario.dataOutAtCompletion || rule.timing == kTimingPause) {
        submission.deferred = 1;
        submission.command = command;
        submission.rule = rule;
    } else {
        if (command.direction == kDirOut && srb->SRB_BufLen > 0) {
            entry.dataOut.assign(srb->SRB_BufPointer, srb->SRB_BufPointer + srb->SRB_BufLen);
            record.dataOutDigest = Fnv1a(entry.dataOut.data(), srb->SRB_BufLen);
            command.dataOut = entry.dataOut.data();
            command.dataOutLength = srb->SRB_BufLen;
        }
        if (submission.outcome.srbStatus != SS_PENDING)
            device->Finish(command, rule, submission.outcome);
    }

    record.finalStatus = SS_PENDING;
    log.push_back(entry);
    StoreStatus(srb, SS_PENDING);
    return SS_PENDING;
}

uint64_t DriveModel::Record(const void* request, uint8_t status)
{
    SimLogEntry entry;
    SimRequestRecord& record = entry.record;
    std::memset(&record, 0, sizeof record);
    const SRB_Header* header = static_cast<const SRB_Header*>(request);
    record.command = header->SRB_Cmd;
    record.adapter = header->SRB_HaId;
    record.flags = header->SRB_Flags;
    if (header->SRB_Cmd == SC_ABORT_SRB) {
        const SRB_Abort* abort = static_cast<const SRB_Abort*>(request);
        record.bufPointerSet = abort->SRB_ToAbort != nullptr;
    }
    record.finalStatus = status;
    uint64_t sequence = firstSequence + log.size();
    log.push_back(entry);
    return sequence;
}

void DriveModel::SetFinalStatus(uint64_t sequence, uint8_t status)
{
    if (sequence < firstSequence || sequence - firstSequence >= log.size())
        return; // the log was cleared since
    log[sequence - firstSequence].record.finalStatus = status;
}

void DriveModel::Settle(SimSubmission& submission)
{
    if (!submission.deferred)
        return;
    submission.deferred = 0;
    SimCommand command = submission.command;
    std::vector<uint8_t> bytes;
    if (command.direction == kDirOut && submission.bufLen > 0 && submission.bufPointer != nullptr)
        bytes.assign(submission.bufPointer, submission.bufPointer + submission.bufLen);
    command.dataOut = bytes.empty() ? nullptr : bytes.data();
    command.dataOutLength = static_cast<uint32_t>(bytes.size());
    SimDevice* device = scenario.FindDevice(submission.adapter, submission.target);
    if (device != nullptr)
        device->Finish(command, submission.rule, submission.outcome);
    // The log keeps what the drive took; nothing when the log was cleared since.
    uint64_t sequence = submission.sequence;
    if (sequence < firstSequence || sequence - firstSequence >= log.size())
        return;
    SimLogEntry& entry = log[sequence - firstSequence];
    entry.record.dataOutDigest = bytes.empty() ? 0 : Fnv1a(bytes.data(), command.dataOutLength);
    entry.dataOut.swap(bytes);
}

void DriveModel::DeliverCompletion(SRB_ExecSCSICmd* srb, const SimSubmission& submission)
{
    const SimOutcome& outcome = submission.outcome;
    uint32_t count =
        outcome.dataInLength < submission.bufLen ? outcome.dataInLength : submission.bufLen;
    if (count > sizeof outcome.dataIn)
        count = sizeof outcome.dataIn;
    if (count > 0 && submission.bufPointer != nullptr)
        std::memcpy(submission.bufPointer, outcome.dataIn, count);
    if (outcome.hasSense) {
        uint32_t senseCount = submission.senseLen < SimDevice::kSenseLength
                                  ? submission.senseLen
                                  : static_cast<uint32_t>(SimDevice::kSenseLength);
        std::memcpy(srb->SenseArea, outcome.sense, senseCount);
    }
    srb->SRB_HaStat = outcome.hostStatus;
    srb->SRB_TargStat = outcome.targetStatus;
    StoreStatus(srb, outcome.srbStatus);
}

void DriveModel::DeliverStatus(SRB_ExecSCSICmd* srb, uint8_t status)
{
    StoreStatus(srb, status);
}

uint32_t DriveModel::Fnv1a(const uint8_t* bytes, uint32_t length)
{
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; i < length; ++i) {
        hash ^= bytes[i];
        hash *= 16777619u;
    }
    return hash;
}

bool DriveModel::GetRequest(int index, SimRequestRecord& out) const
{
    if (index < 0 || static_cast<size_t>(index) >= log.size())
        return false;
    out = log[index].record;
    return true;
}

uint32_t DriveModel::GetDataOut(int index, uint8_t* dst, uint32_t capacity) const
{
    if (index < 0 || static_cast<size_t>(index) >= log.size() || dst == nullptr)
        return 0;
    const std::vector<uint8_t>& bytes = log[index].dataOut;
    uint32_t count = bytes.size() < capacity ? static_cast<uint32_t>(bytes.size()) : capacity;
    if (count > 0)
        std::memcpy(dst, bytes.data(), count);
    return count;
}

void DriveModel::ClearLog()
{
    firstSequence += log.size();
    log.clear();
}

bool DriveModel::GetDeviceInfo(int adapterId, int targetId, SimDeviceInfo& out) const
{
    const SimDevice* device = scenario.FindDevice(adapterId, targetId);
    if (device == nullptr)
        return false;
    device->GetInfo(out);
    return true;
}
