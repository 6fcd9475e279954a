// The tests' handle on the simulated ASPI layer: the same WNASPI32.dll module that the
// library loads, bound by name to its control exports.
#pragma once

#include <windows.h>

#include <vector>

#include "layer/SimControl.h"

class SimLink {
public:
    SimLink();
    ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // 1 when WNASPI32.dll is our simulated layer and every control export was found.
    int IsBound() const { return bound; }
    // Replaces the whole simulated machine; 1 when the scenario text parsed.
    int Configure(const char* scenario);
    const char* LastError();
    void ClearLog();
    std::vector<SimRequestRecord> Requests();
    // Only the SCSI requests, without aborts.
    std::vector<SimRequestRecord> ScsiRequests();
    std::vector<uint8_t> DataOut(int index);
    int PendingCount();
    void ReleaseHeld();
    // Lets paused requests run and complete.
    void Resume();
    SimDeviceInfo Device(int adapter, int target);

private:
    HMODULE module;
    int bound;
    SimConfigureFn configure;
    SimLastErrorFn lastError;
    SimRequestCountFn requestCount;
    SimGetRequestFn getRequest;
    SimGetDataOutFn getDataOut;
    SimClearLogFn clearLog;
    SimPendingCountFn pendingCount;
    SimReleaseHeldFn releaseHeld;
    SimGetDeviceInfoFn getDeviceInfo;
    SimResumeFn resume;
};
