#include "SimLink.h"

#include <cstring>

#include "scsi/AspiTypes.h"

namespace {

template <typename Fn> Fn Bind(HMODULE module, const char* name, int& ok)
{
    Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (fn == nullptr)
        ok = 0;
    return fn;
}

} // namespace

SimLink::SimLink() : module(LoadLibraryA("wnaspi32.dll")), bound(module != nullptr)
{
    if (module == nullptr)
        return;
    configure = Bind<SimConfigureFn>(module, "SimConfigure", bound);
    lastError = Bind<SimLastErrorFn>(module, "SimLastError", bound);
    requestCount = Bind<SimRequestCountFn>(module, "SimRequestCount", bound);
    getRequest = Bind<SimGetRequestFn>(module, "SimGetRequest", bound);
    getDataOut = Bind<SimGetDataOutFn>(module, "SimGetDataOut", bound);
    clearLog = Bind<SimClearLogFn>(module, "SimClearLog", bound);
    pendingCount = Bind<SimPendingCountFn>(module, "SimPendingCount", bound);
    releaseHeld = Bind<SimReleaseHeldFn>(module, "SimReleaseHeld", bound);
    getDeviceInfo = Bind<SimGetDeviceInfoFn>(module, "SimGetDeviceInfo", bound);
    resume = Bind<SimResumeFn>(module, "SimResume", bound);
}

SimLink::~SimLink()
{
    if (module != nullptr)
        FreeLibrary(module);
}

int SimLink::Configure(const char* scenario)
{
    return bound && configure(scenario);
}

const char* SimLink::LastError()
{
    return bound ? lastError() : "simulated layer not loaded";
}

void SimLink::ClearLog()
{
    if (bound)
        clearLog();
}

std::vector<SimRequestRecord> SimLink::Requests()
{
    std::vector<SimRequestRecord> all;
    if (!bound)
        return all;
    int count = requestCount();
    for (int i = 0; i < count; ++i) {
        SimRequestRecord record;
        std::memset(&record, 0, sizeof record);
        if (getRequest(i, &record))
            all.push_back(record);
    }
    return all;
}

std::vector<SimRequestRecord> SimLink::ScsiRequests()
{
    std::vector<SimRequestRecord> scsi;
    for (const SimRequestRecord& r : Requests()) {
        if (r.command == SC_EXEC_SCSI_CMD)
            scsi.push_back(r);
    }
    return scsi;
}

std::vector<uint8_t> SimLink::DataOut(int index)
{
    std::vector<uint8_t> data(65536);
    if (!bound)
        return {};
    data.resize(getDataOut(index, data.data(), static_cast<uint32_t>(data.size())));
    return data;
}

int SimLink::PendingCount()
{
    return bound ? pendingCount() : 0;
}

void SimLink::ReleaseHeld()
{
    if (bound)
        releaseHeld();
}

void SimLink::Resume()
{
    if (bound)
        resume();
}

SimDeviceInfo SimLink::Device(int adapter, int target)
{
    SimDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    if (bound)
        getDeviceInfo(adapter, target, &info);
    return info;
}
