// One device on the simulated SCSI bus: its INQUIRY identity, the state that commands
// change (medium, removal lock, flashed revision), and the faults a test asks it to show.
// Decides the outcome of one command; knows nothing of threads, events or the SRB.
#pragma once

#include <cstdint>
#include <vector>

#include "SimRecords.h"

enum SimDeviceKind : uint8_t {
    kSimRvx,   // the RVX-4417K with the vendor download protocol
    kSimCdrom, // a CD-ROM drive without it
    kSimDisk,  // a fixed disk
    kSimRaw,   // any peripheral byte: answers INQUIRY and TEST UNIT READY only
};

// How the model classifies a command, and what a fault rule selects.
enum SimCommandKind : uint8_t {
    kCmdInquiry,
    kCmdProbe,   // CB, byte 2 = 01
    kCmdPrevent, // 1E
    kCmdUnload,  // 1B with LoEj and not Start
    kCmdLoad,    // 1B with LoEj and Start
    kCmdWrite,   // CB, byte 2 = 04
    kCmdTur,     // 00
    kCmdOther,
    kCmdAny, // only as a fault selector
};

enum SimFaultResult : uint8_t {
    kFaultNone,          // the command runs normally
    kFaultCheck,         // CHECK CONDITION with the rule's sense; the command does not run
    kFaultStatus,        // raw SRB_Status, no sense; the command does not run
    kFaultSenseWithGood, // the command runs; SS_COMP with the rule's sense in the sense area
};

enum SimFaultTiming : uint8_t {
    kTimingNone,
    kTimingDelay, // completion held back by delayMs
    kTimingHang,  // never completes until aborted; the command does not run
    kTimingKeep,  // never completes, refuses the abort, until the test releases it
    kTimingPause, // waits, not yet run, until the test resumes it (then runs as normal);
                  // an abort ends it with SS_ABORTED
};

struct SimFaultRule {
    uint8_t command; // SimCommandKind
    uint8_t result;  // SimFaultResult
    uint8_t timing;  // SimFaultTiming
    uint8_t srbStatus;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    uint32_t delayMs;
    int32_t remaining; // executions still affected; -1 for every execution
};

// Direction of a request's data phase, from SRB_Flags or, without direction bits, from
// the command itself (Windows 9x layers work that way).
enum SimDirection : uint8_t { kDirNone, kDirIn, kDirOut, kDirBoth };

// One command as the device sees it.
struct SimCommand {
    uint8_t cdb[16]; // bytes past SRB_CDBLen are zero
    uint8_t direction;
    uint32_t bufLen;
    const uint8_t* dataOut; // the bytes taken at submission, or null
    uint32_t dataOutLength;
};

// What the device answers; the layer delivers it into the request block.
struct SimOutcome {
    uint8_t srbStatus;
    uint8_t hostStatus;
    uint8_t targetStatus;
    uint8_t hasSense;
    uint8_t sense[18];
    uint8_t dataIn[256];
    uint32_t dataInLength;
    uint32_t delayMs;
    uint8_t hang;
    uint8_t keep;
    uint8_t pause;
};

class SimDevice {
public:
    enum {
        kInquiryLength = 36,
        kSenseLength = 18,
        kCodeLength = 63488,    // the code part of a firmware image
        kPayloadLength = 63490, // code part and its 16-bit sum
        kMaxFaults = 64,
    };

    SimDevice();

    // Sets the INQUIRY identity; vendor 8, product 16 and revision 4 bytes, taken as they are.
    void SetIdentity(uint8_t kindValue, uint8_t peripheral, uint8_t byte1, uint8_t byte2,
                     uint8_t byte3, const uint8_t* vendor, const uint8_t* product,
                     const uint8_t* revision);
    // False when the device already has kMaxFaults rules.
    bool AddFault(const SimFaultRule& rule);

    // Runs one command: applies the first active fault rule for it, updates the state and
    // fills the outcome (SS_PENDING with hang, keep or pause set when it does not complete
    // by itself).
    void Execute(const SimCommand& command, SimOutcome& outcome);
    // The two halves of Execute, for a command whose run waits for its completion: the
    // rule that applies (counted as used, and the command counted) and how its completion
    // is timed, now; the run itself later. A rule with neither result nor timing when no
    // fault applies.
    SimFaultRule TakeFault(const uint8_t* cdb);
    static void TimeOutcome(const SimFaultRule& rule, SimOutcome& outcome);
    // Runs the command under the rule's result; a paused command runs without it.
    void Finish(const SimCommand& command, const SimFaultRule& rule, SimOutcome& outcome);
    void GetInfo(SimDeviceInfo& info) const;

    static uint8_t Classify(const uint8_t* cdb);
    // The direction a command's data phase has by its nature.
    static uint8_t NaturalDirection(const uint8_t* cdb);
    // Scans code bytes for identification records (05 80 00 21|32 1F) as the firmware
    // loader does; true with the revision of the last complete record, false when there is none.
    static bool FindRecordRevision(const uint8_t* code, uint32_t length, uint8_t* revision);
    static void SetCheck(SimOutcome& outcome, uint8_t key, uint8_t asc, uint8_t ascq);

    uint8_t adapter;
    uint8_t target;
    uint8_t kind;
    uint8_t inquiry[kInquiryLength];
    uint8_t mediumLoaded;
    uint8_t prevented;
    uint32_t flashCount;
    uint32_t commandCount;
    int declaredLine; // scenario line that declared the device
    std::vector<SimFaultRule> faults;

private:
    SimFaultRule* ActiveFault(uint8_t commandKind);
    void RunCommand(const SimCommand& command, uint8_t commandKind, SimOutcome& outcome);
    void RunInquiry(const SimCommand& command, SimOutcome& outcome);
    void RunStartStop(uint8_t commandKind, SimOutcome& outcome);
    void RunWrite(const SimCommand& command, SimOutcome& outcome);
};
