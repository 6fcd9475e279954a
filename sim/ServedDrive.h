// One device of a scenario served to a real SCSI stack: takes each command as the
// target's backend hands it over (command block, data-out bytes, transfer length) and
// answers with SCSI status, sense and data in, timed as the scenario's faults ask; keeps
// the log of what the drive received. Free of operating-system headers: the drive server
// (driveserver/) does the plumbing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimScenario.h"

// What the drive answers one command with, and when.
struct ServedAnswer {
    enum Timing : uint8_t {
        kNow,   // answer at once
        kDelay, // answer after delayMs
        kHeld,  // no answer until the initiator aborts the command
        kNever, // no answer at all, not even to an abort
    };
    uint8_t timing;
    uint32_t delayMs;
    uint8_t status; // SCSI status: GOOD 00 or CHECK CONDITION 02
    uint8_t sense[18];
    uint8_t senseLength; // 0 or 18
    uint8_t dataIn[256];
    uint32_t dataInLength; // at most the transfer length
};

class ServedDrive {
public:
    ServedDrive();

    // Reads the scenario and takes the device at adapter:target, or the first RVX-4417K
    // when adapter is -1. False with the reason in error: a parse error, no such device, or a
    // fault that only an ASPI layer can show (a raw SRB status, a paused request, sense
    // with GOOD).
    bool Load(const char* scenarioText, int adapter, int target);

    // Runs one command at time nowMs (milliseconds of the server's clock) and logs it.
    // transferLength is the initiator's buffer; dataOut holds its bytes for a command
    // that sends data, else null. Returns the log sequence number of the command.
    uint32_t Execute(const uint8_t* cdb, uint8_t cdbLength, const uint8_t* dataOut,
                     uint32_t transferLength, uint32_t nowMs, ServedAnswer& answer);
    // Logs how a command ended: "answered", or "aborted" when the initiator gave up.
    void Ended(uint32_t sequence, uint32_t nowMs, const char* how);

    // The log, one line per event, and the data-out bytes of each command that had some.
    const std::vector<std::string>& Log() const { return log; }
    std::string error;

private:
    SimScenario scenario;
    SimDevice* device;
    std::vector<std::string> log;
    uint32_t nextSequence;
};
