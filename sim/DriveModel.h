// The simulated SCSI bus behind the ASPI layer: the configured adapters and devices, the
// checks an ASPI layer makes on a request block, the log of every request, and the
// delivery of a result into the block. Threads and events belong to the layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimDevice.h"
#include "SimRecords.h"
#include "SimScenario.h"
#include "scsi/AspiTypes.h"

// One execute request as accepted: what to deliver, where, and after how long.
struct SimSubmission {
    SimOutcome outcome;
    uint64_t sequence; // names the request in the log
    uint8_t* bufPointer;
    uint32_t bufLen;
    uint8_t senseLen;
    uint8_t pending; // 1: SS_PENDING was returned and the layer owes a completion
    // 1: the command runs when it completes (see Settle), with the data-out bytes that
    // are in the caller's buffer then.
    uint8_t deferred;
    uint8_t adapter;
    uint8_t target;
    SimCommand command; // of a deferred request, without its data-out bytes
    SimFaultRule rule;  // of a deferred request
};

struct SimLogEntry {
    SimRequestRecord record;
    std::vector<uint8_t> dataOut;
};

class DriveModel {
public:
    // The largest transfer the simulated adapters take, as real ones report a maximum.
    enum { kMaxTransfer = 65536 };

    DriveModel();

    // Replaces the configuration and clears the log; on a parse error nothing changes.
    bool Configure(const char* text);
    // Loads a scenario file; when it cannot be read or parsed the bus is left empty.
    bool ConfigureFromFile(const char* path);
    const char* LastError() const { return lastError.c_str(); }

    uint32_t SupportInfo() const { return scenario.SupportInfo(); }
    bool IsSyncCompletion() const { return scenario.syncCompletion; }
    bool IsRefusingAll() const { return scenario.refuseAll; }
    uint8_t AdapterCount() const { return scenario.adapterCount; }

    // Takes an SC_EXEC_SCSI_CMD block at submission and returns what SendASPI32Command
    // returns. Requests refused at once get their SRB_Status here (except under
    // refuse-all, which leaves it alone); accepted ones get SS_PENDING, the device runs the
    // command now and submission holds the result for the layer to deliver.
    uint8_t Accept(SRB_ExecSCSICmd* srb, SimSubmission& submission);
    // Logs a request of another kind (abort or unknown) with the status it was answered.
    uint64_t Record(const void* request, uint8_t status);
    void SetFinalStatus(uint64_t sequence, uint8_t status);

    // Runs a deferred request's command now, taking its data-out bytes from the caller's
    // buffer as they are at this moment (logged in place of none); the outcome goes into
    // the submission. Nothing for a request that is not deferred.
    void Settle(SimSubmission& submission);
    // Writes data in, sense, adapter and target status, and the SRB_Status last.
    static void DeliverCompletion(SRB_ExecSCSICmd* srb, const SimSubmission& submission);
    // Writes only a final SRB_Status (an aborted request).
    static void DeliverStatus(SRB_ExecSCSICmd* srb, uint8_t status);
    static uint32_t Fnv1a(const uint8_t* bytes, uint32_t length);

    int RequestCount() const { return static_cast<int>(log.size()); }
    bool GetRequest(int index, SimRequestRecord& out) const;
    uint32_t GetDataOut(int index, uint8_t* dst, uint32_t capacity) const;
    void ClearLog();
    bool GetDeviceInfo(int adapterId, int targetId, SimDeviceInfo& out) const;

private:
    uint8_t Refuse(SRB_ExecSCSICmd* srb, SimLogEntry& entry, uint8_t status);
    uint8_t CheckRequest(const SRB_ExecSCSICmd* srb) const;

    SimScenario scenario;
    std::vector<SimLogEntry> log;
    uint64_t firstSequence; // sequence of log[0]
    std::string lastError;
};
