// Request handling of the simulated ASPI layer. One lock guards the model, the log and
// the list of pending requests; every accepted request in asynchronous mode completes on
// a thread of its own.
#include "SimLayer.h"

#include <cstdio>

namespace {

const char kScenarioVariable[] = "KDLL_SIM_SCENARIO";

DWORD WINAPI CompletionThreadProc(void* argument)
{
    SimPendingRequest* request = static_cast<SimPendingRequest*>(argument);
    HMODULE moduleRef = request->moduleRef;
    request->owner->RunCompletion(request);
    // The reference taken at the start keeps this code mapped even if the process has
    // freed the library meanwhile; dropping it must be the thread's last act.
    if (moduleRef != nullptr)
        FreeLibraryAndExitThread(moduleRef, 0);
    return 0;
}

} // namespace

SimLayer::SimLayer(HMODULE moduleHandle) : module(moduleHandle), configured(false) {}

// Every completion thread holds a reference to the module, so none runs any more when the
// layer goes; requests still listed belong to threads that could not take one and are left
// alone rather than freed under them.
SimLayer::~SimLayer() = default;

void SimLayer::EnsureConfigured()
{
    if (configured)
        return;
    configured = true;
    char path[1024];
    DWORD length = GetEnvironmentVariableA(kScenarioVariable, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return; // no scenario: a layer without host adapters
    if (!model.ConfigureFromFile(path))
        std::fprintf(stderr, "wnaspi32 (simulated): %s\n", model.LastError());
}

uint32_t SimLayer::SupportInfo()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    uint32_t info = model.SupportInfo();
    return info;
}

uint32_t SimLayer::Send(void* request)
{
    if (request == nullptr)
        return SS_INVALID_SRB;
    uint8_t command = static_cast<SRB_Header*>(request)->SRB_Cmd;
    if (command == SC_EXEC_SCSI_CMD)
        return Execute(static_cast<SRB_ExecSCSICmd*>(request));
    if (command == SC_ABORT_SRB)
        return Abort(static_cast<SRB_Abort*>(request));
    return Refuse(request);
}

uint32_t SimLayer::Refuse(void* request)
{
    ScopedLock hold(lock);
    EnsureConfigured();
    uint8_t status = SS_INVALID_CMD;
    if (model.IsRefusingAll())
        status = SS_INVALID_SRB;
    else
        static_cast<SRB_Header*>(request)->SRB_Status = status;
    model.Record(request, status);
    return status;
}

uint32_t SimLayer::Execute(SRB_ExecSCSICmd* srb)
{
    SimSubmission submission;
    {
        ScopedLock hold(lock);
        EnsureConfigured();
        uint8_t status = model.Accept(srb, submission);
        if (!submission.pending)
            return status;
        bool neverCompletes =
            submission.outcome.hang || submission.outcome.keep || submission.outcome.pause;
        if (!model.IsSyncCompletion() || neverCompletes) {
            Enqueue(srb, submission, neverCompletes);
            return SS_PENDING;
        }
    }
    return CompleteAtOnce(srb, submission);
}

void SimLayer::Enqueue(SRB_ExecSCSICmd* srb, const SimSubmission& submission, bool neverCompletes)
{
    SimPendingRequest* request = new SimPendingRequest;
    request->owner = this;
    request->srb = srb;
    request->submission = submission;
    request->adapter = srb->SRB_HaId;
    request->notify =
        (srb->SRB_Flags & SRB_EVENT_NOTIFY) ? static_cast<HANDLE>(srb->SRB_PostProc) : nullptr;
    request->wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    request->moduleRef = nullptr;
    request->done = false;
    request->resumed = false;
    pending.push_back(request);
    if (request->wake == nullptr || !StartThread(request)) {
        // Without a thread of its own the request completes before the call returns.
        Complete(request, neverCompletes);
        Forget(request);
    }
}

uint32_t SimLayer::CompleteAtOnce(SRB_ExecSCSICmd* srb, const SimSubmission& submission)
{
    // Synchronous layers finish the command inside the call; the delay is spent there.
    if (submission.outcome.delayMs > 0)
        Sleep(submission.outcome.delayMs);
    SimSubmission settled = submission;
    {
        ScopedLock hold(lock);
        model.Settle(settled);
        DriveModel::DeliverCompletion(srb, settled);
        model.SetFinalStatus(settled.sequence, settled.outcome.srbStatus);
    }
    if ((srb->SRB_Flags & SRB_EVENT_NOTIFY) && srb->SRB_PostProc != nullptr)
        SetEvent(static_cast<HANDLE>(srb->SRB_PostProc));
    return settled.outcome.srbStatus;
}

bool SimLayer::StartThread(SimPendingRequest* request)
{
    HMODULE moduleRef = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&CompletionThreadProc), &moduleRef);
    request->moduleRef = moduleRef;
    HANDLE thread = CreateThread(nullptr, 0, CompletionThreadProc, request, 0, nullptr);
    if (thread == nullptr) {
        request->moduleRef = nullptr;
        if (moduleRef != nullptr)
            FreeLibrary(moduleRef);
        return false;
    }
    CloseHandle(thread);
    return true;
}

void SimLayer::RunCompletion(SimPendingRequest* request)
{
    const SimOutcome& outcome = request->submission.outcome;
    DWORD wait = (outcome.hang || outcome.keep || outcome.pause) ? INFINITE : outcome.delayMs;
    WaitForSingleObject(request->wake, wait);
    ScopedLock hold(lock);
    // Woken without having been handed back can only be a request that never
    // completes on its own; it leaves as aborted rather than with no status at all. A
    // resumed one runs now.
    if (!request->done)
        Complete(request, outcome.hang || outcome.keep || (outcome.pause && !request->resumed));
    Forget(request);
}

void SimLayer::Complete(SimPendingRequest* request, bool aborted)
{
    uint8_t status = SS_ABORTED;
    if (aborted) {
        DriveModel::DeliverStatus(request->srb, SS_ABORTED);
    } else {
        model.Settle(request->submission);
        DriveModel::DeliverCompletion(request->srb, request->submission);
        status = request->submission.outcome.srbStatus;
    }
    model.SetFinalStatus(request->submission.sequence, status);
    request->done = true;
    if (request->notify != nullptr)
        SetEvent(request->notify);
    if (request->wake != nullptr)
        SetEvent(request->wake);
}

void SimLayer::Forget(SimPendingRequest* request)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i] != request)
            continue;
        pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    if (request->wake != nullptr)
        CloseHandle(request->wake);
    delete request;
}

uint32_t SimLayer::Abort(SRB_Abort* abort)
{
    ScopedLock hold(lock);
    EnsureConfigured();
    if (model.IsRefusingAll()) {
        model.Record(abort, SS_INVALID_SRB);
        return SS_INVALID_SRB;
    }
    uint8_t status = SS_ABORT_FAIL;
    if (abort->SRB_HaId >= model.AdapterCount())
        status = SS_INVALID_HA;
    for (SimPendingRequest* request : pending) {
        if (status == SS_INVALID_HA)
            break;
        if (request->done || request->srb != abort->SRB_ToAbort ||
            request->adapter != abort->SRB_HaId)
            continue;
        // A kept request stays with the layer whatever the caller asks.
        if (!request->submission.outcome.keep) {
            Complete(request, true);
            status = SS_COMP;
        }
        break;
    }
    abort->SRB_Status = status;
    model.Record(abort, status);
    return status;
}

bool SimLayer::Configure(const char* text)
{
    ScopedLock hold(lock);
    configured = true;
    bool ok = model.Configure(text);
    if (ok) {
        // A new bus: whatever was still in flight is handed back as aborted.
        for (SimPendingRequest* request : pending) {
            if (!request->done)
                Complete(request, true);
        }
    }
    return ok;
}

const char* SimLayer::LastError()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    const char* text = model.LastError();
    return text;
}

int SimLayer::RequestCount()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    int count = model.RequestCount();
    return count;
}

bool SimLayer::GetRequest(int index, SimRequestRecord* out)
{
    if (out == nullptr)
        return false;
    ScopedLock hold(lock);
    EnsureConfigured();
    bool ok = model.GetRequest(index, *out);
    return ok;
}

uint32_t SimLayer::GetDataOut(int index, uint8_t* dst, uint32_t capacity)
{
    ScopedLock hold(lock);
    EnsureConfigured();
    uint32_t count = model.GetDataOut(index, dst, capacity);
    return count;
}

void SimLayer::ClearLog()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    model.ClearLog();
}

int SimLayer::PendingCount()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    int count = 0;
    for (const SimPendingRequest* request : pending)
        count += !request->done;
    return count;
}

void SimLayer::ReleaseHeld()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    for (SimPendingRequest* request : pending) {
        if (!request->done && request->submission.outcome.keep)
            Complete(request, true);
    }
}

void SimLayer::Resume()
{
    ScopedLock hold(lock);
    EnsureConfigured();
    for (SimPendingRequest* request : pending) {
        if (request->done || !request->submission.outcome.pause || request->resumed)
            continue;
        request->resumed = true;
        // A request without a thread of its own completed when it was sent.
        if (request->wake != nullptr)
            SetEvent(request->wake);
    }
}

bool SimLayer::GetDeviceInfo(int adapter, int target, SimDeviceInfo* out)
{
    if (out == nullptr)
        return false;
    ScopedLock hold(lock);
    EnsureConfigured();
    bool ok = model.GetDeviceInfo(adapter, target, *out);
    return ok;
}
