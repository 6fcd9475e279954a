// The drive model behind the drive server: scenario faults turned into SCSI answers.
#include "ServedDrive.h"

#include <cstdio>
#include <cstring>

#include "DriveModel.h"
#include "scsi/AspiTypes.h"
#include "scsi/ScsiCodes.h"

namespace {

void AppendHex(std::string& text, const uint8_t* bytes, uint32_t length)
{
    char digits[4];
    for (uint32_t i = 0; i < length; ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += digits;
    }
}

// Why a drive cannot show the fault, or null when it can: a drive answers with SCSI
// status and sense alone; SRB statuses, held requests and sense behind a success belong
// to an ASPI layer. Served anyway, such a scenario would pass where the layer fails it.
const char* LayerOnlyFault(const SimFaultRule& rule)
{
    if (rule.result == kFaultStatus)
        return "'status': an SRB status, which only an ASPI layer gives";
    if (rule.result == kFaultSenseWithGood)
        return "'sense-with-good': sense behind a success, which only an ASPI layer leaves; "
               "a drive's GOOD carries no sense data";
    if (rule.timing == kTimingPause)
        return "'pause': a request held inside an ASPI layer";
    return nullptr;
}

} // namespace

ServedDrive::ServedDrive() : device(nullptr), nextSequence(1) {}

bool ServedDrive::Load(const char* scenarioText, int adapter, int target)
{
    device = nullptr;
    if (!scenario.Parse(scenarioText)) {
        error = scenario.error;
        return false;
    }
    for (SimDevice& candidate : scenario.devices) {
        if (adapter < 0 ? candidate.kind == kSimRvx
                        : candidate.adapter == adapter && candidate.target == target) {
            device = &candidate;
            break;
        }
    }
    if (device == nullptr) {
        error = adapter < 0 ? "the scenario has no RVX-4417K" : "the scenario has no device there";
        return false;
    }
    for (const SimFaultRule& rule : device->faults) {
        const char* reason = LayerOnlyFault(rule);
        if (reason != nullptr) {
            error = std::string("the device's faults include ") + reason;
            device = nullptr;
            return false;
        }
    }
    return true;
}

uint32_t ServedDrive::Execute(const uint8_t* cdb, uint8_t cdbLength, const uint8_t* dataOut,
                              uint32_t transferLength, uint32_t nowMs, ServedAnswer& answer)
{
    std::memset(&answer, 0, sizeof answer);
    SimCommand command;
    std::memset(&command, 0, sizeof command);
    std::memcpy(command.cdb, cdb, cdbLength < 16 ? cdbLength : 16);
    // The backend does not say which way the data goes: the command's own direction.
    command.direction = transferLength != 0 ? SimDevice::NaturalDirection(cdb) : uint8_t(kDirNone);
    command.bufLen = transferLength;
    command.dataOut = dataOut;
    command.dataOutLength = dataOut != nullptr ? transferLength : 0;

    SimOutcome outcome;
    device->Execute(command, outcome);
    if (outcome.hang)
        answer.timing = ServedAnswer::kHeld;
    else if (outcome.keep)
        answer.timing = ServedAnswer::kNever;
    else if (outcome.delayMs != 0)
        answer.timing = ServedAnswer::kDelay;
    answer.delayMs = outcome.delayMs;
    if (outcome.srbStatus == SS_ERR && outcome.targetStatus == ScsiStatus::kCheckCondition) {
        answer.status = ScsiStatus::kCheckCondition;
        std::memcpy(answer.sense, outcome.sense, sizeof answer.sense);
        answer.senseLength = sizeof answer.sense;
    }
    if (answer.status == ScsiStatus::kGood && dataOut == nullptr) {
        answer.dataInLength =
            outcome.dataInLength < transferLength ? outcome.dataInLength : transferLength;
        std::memcpy(answer.dataIn, outcome.dataIn, answer.dataInLength);
    }

    uint32_t sequence = nextSequence++;
    char head[64];
    std::snprintf(head, sizeof head, "%u %u cdb ", sequence, nowMs);
    std::string line = head;
    AppendHex(line, command.cdb, cdbLength < 16 ? cdbLength : 16);
    char tail[96];
    if (dataOut != nullptr)
        std::snprintf(tail, sizeof tail, " | out %u fnv %08X", transferLength,
                      DriveModel::Fnv1a(dataOut, transferLength));
    else
        std::snprintf(tail, sizeof tail, " | in %u", transferLength);
    line += tail;
    static const char* const timings[] = {"", " delay", " held", " never"};
    if (answer.status == ScsiStatus::kCheckCondition)
        std::snprintf(tail, sizeof tail, " | check %X/%02X/%02X", answer.sense[2] & 0x0F,
                      answer.sense[12], answer.sense[13]);
    else
        std::snprintf(tail, sizeof tail, " | good %u", answer.dataInLength);
    line += tail;
    line += timings[answer.timing];
    log.push_back(line);
    return sequence;
}

void ServedDrive::Ended(uint32_t sequence, uint32_t nowMs, const char* how)
{
    char line[64];
    std::snprintf(line, sizeof line, "%u %u %s", sequence, nowMs, how);
    log.push_back(line);
}
