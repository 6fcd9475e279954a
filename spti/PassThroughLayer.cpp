// Our WNASPI32.dll's adapters: the drives found behind CD-ROM letters, the ASPI requests
// on them, and the system's side of their queue: workers, pass-through calls and cancel.
#include "PassThroughLayer.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "SptiAdapter.h"

static_assert(sizeof(PassThroughHeader) == sizeof(SCSI_PASS_THROUGH), "SCSI_PASS_THROUGH size");
static_assert(offsetof(PassThroughHeader, DataBufferOffset) ==
                  offsetof(SCSI_PASS_THROUGH, DataBufferOffset),
              "SCSI_PASS_THROUGH.DataBufferOffset");
static_assert(offsetof(PassThroughHeader, Cdb) == offsetof(SCSI_PASS_THROUGH, Cdb),
              "SCSI_PASS_THROUGH.Cdb");

namespace {

const uint8_t kHostAdapterId = 7;

struct WorkerStart {
    PassThroughLayer* layer;
    int index;
};

DWORD WINAPI WorkerMain(LPVOID argument)
{
    WorkerStart start = *static_cast<WorkerStart*>(argument);
    delete static_cast<WorkerStart*>(argument);
    start.layer->RunWorker(start.index);
    // The thread holds its own reference on the module: the caller may free the layer
    // while the last request is being handed back.
    FreeLibraryAndExitThread(start.layer->Module(), 0);
    return 0;
}

void CopyBlankPadded(uint8_t* field, size_t size, const char* text)
{
    std::memset(field, ' ', size);
    size_t length = std::strlen(text);
    std::memcpy(field, text, length < size ? length : size);
}

} // namespace

PassThroughLayer::PassThroughLayer(HMODULE module)
    : module(module), adapterCount(0), discovered(false), isWindows9x(false), cancelIoEx(nullptr),
      queue(*this)
{
    std::memset(timeoutByLetter, 0, sizeof timeoutByLetter);
    // The high bit of GetVersion is set on the Windows 9x family, which has its own ASPI.
    isWindows9x = (GetVersion() & 0x80000000u) != 0;
}

PassThroughLayer::~PassThroughLayer()
{
    CloseAdapters();
}

void PassThroughLayer::CloseAdapters()
{
    for (int i = 0; i < adapterCount; ++i) {
        LayerAdapter& adapter = adapters[i];
        if (adapter.device != INVALID_HANDLE_VALUE)
            CloseHandle(adapter.device);
        if (adapter.wake != nullptr)
            CloseHandle(adapter.wake);
    }
    adapterCount = 0;
}

bool PassThroughLayer::OpenDevice(char letter, HANDLE& device, bool& readOnly) const
{
    char path[8] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    readOnly = false;
    if (device != INVALID_HANDLE_VALUE)
        return true;
    // Without administrator rights Windows opens the drive for reading only; its
    // pass-through then refuses commands, but the drive can still be listed.
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    device = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                         nullptr);
    readOnly = true;
    return device != INVALID_HANDLE_VALUE;
}

// Target and LUN from the port driver. USB and FireWire bridges do not answer: their
// drives keep 0/0.
void PassThroughLayer::ReadAddress(LayerAdapter& adapter) const
{
    adapter.target = 0;
    adapter.lun = 0;
    SCSI_ADDRESS address;
    std::memset(&address, 0, sizeof address);
    address.Length = sizeof address;
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(adapter.device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address,
                              sizeof address, &returned, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(adapter.device, &overlapped, &returned, TRUE);
    CloseHandle(overlapped.hEvent);
    if (!ok || returned < sizeof address)
        return;
    adapter.target = address.TargetId;
    adapter.lun = address.Lun;
}

bool PassThroughLayer::Reopen(LayerAdapter& adapter) const
{
    if (adapter.device != INVALID_HANDLE_VALUE)
        CloseHandle(adapter.device);
    return OpenDevice(adapter.letter, adapter.device, adapter.readOnly);
}

// Called with the lock held and no worker running.
void PassThroughLayer::Discover()
{
    CloseAdapters();
    discovered = true;
    // Windows Vista and later cancel one request from any thread; Windows 2000 and XP
    // lack CancelIoEx, and CancelIo from the thread that issued the request does the same.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    cancelIoEx = kernel != nullptr ? reinterpret_cast<CancelIoExFn>(reinterpret_cast<void*>(
                                         GetProcAddress(kernel, "CancelIoEx")))
                                   : nullptr;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        char root[4] = {letter, ':', '\\', '\0'};
        if (GetDriveTypeA(root) != DRIVE_CDROM)
            continue;
        LayerAdapter& adapter = adapters[adapterCount];
        adapter.letter = letter;
        adapter.cancelled = false;
        adapter.wake = nullptr;
        if (!OpenDevice(letter, adapter.device, adapter.readOnly))
            continue;
        adapter.wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (adapter.wake == nullptr) {
            CloseHandle(adapter.device);
            continue;
        }
        ReadAddress(adapter);
        ++adapterCount;
    }
    AdapterQueue::Address addresses[kMaxAdapters];
    for (int i = 0; i < adapterCount; ++i)
        addresses[i] = {adapters[i].target, adapters[i].lun, adapters[i].readOnly};
    queue.SetAdapters(addresses, adapterCount);
}

uint32_t PassThroughLayer::SupportInfo()
{
    if (isWindows9x)
        return SS_NO_ADAPTERS << 8;
    int count = 0;
    {
        ScopedLock held(lock);
        if (queue.IsIdle())
            Discover();
        count = adapterCount;
    }
    if (count == 0)
        return SS_NO_ADAPTERS << 8;
    return (SS_COMP << 8) | static_cast<uint32_t>(count);
}

uint32_t PassThroughLayer::Send(void* request)
{
    if (request == nullptr)
        return SS_INVALID_SRB;
    if (!isWindows9x) {
        ScopedLock held(lock);
        if (!discovered)
            Discover();
    }
    SRB_Header* header = static_cast<SRB_Header*>(request);
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
        return HostAdapterInquiry(static_cast<SRB_HAInquiry*>(request));
    case SC_GET_DEV_TYPE:
        return DeviceType(static_cast<SRB_GDEVBlock*>(request));
    case SC_EXEC_SCSI_CMD:
        return queue.Execute(static_cast<SRB_ExecSCSICmd*>(request));
    case SC_ABORT_SRB:
        return queue.Abort(static_cast<SRB_Abort*>(request));
    case SC_GETSET_TIMEOUTS:
        return Timeouts(static_cast<SRB_GetSetTimeouts*>(request));
    }
    return AdapterQueue::RefuseUnknown(header);
}

uint32_t PassThroughLayer::HostAdapterInquiry(SRB_HAInquiry* srb)
{
    int index = srb->SRB_HaId;
    int count = 0;
    char identifier[17] = "";
    uint8_t maxTargets = kMaxTargets;
    bool readOnly = false;
    {
        ScopedLock held(lock);
        count = adapterCount;
        if (index < count) {
            const LayerAdapter& adapter = adapters[index];
            std::memcpy(identifier, "SPTI X:", 8);
            identifier[5] = adapter.letter;
            // Said twice: in words for whoever reads the listing, and as a flag.
            readOnly = adapter.readOnly;
            if (readOnly)
                std::memcpy(identifier + 7, " ro", 4);
            if (adapter.target >= maxTargets)
                maxTargets = static_cast<uint8_t>(adapter.target + 1);
        }
    }

    srb->HA_Count = static_cast<uint8_t>(count);
    if (index >= count) {
        srb->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    srb->HA_SCSI_ID = kHostAdapterId;
    CopyBlankPadded(srb->HA_ManagerId, sizeof srb->HA_ManagerId, SptiAdapter::kManagerId);
    CopyBlankPadded(srb->HA_Identifier, sizeof srb->HA_Identifier, identifier);
    // Buffered pass-through copies the data: any alignment will do.
    std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
    srb->HA_Unique[3] = maxTargets;
    if (readOnly)
        srb->HA_Unique[SptiAdapter::kFlagsByte] = SptiAdapter::kReadOnly;
    const uint32_t maxTransfer = PassThroughRequest::kMaxTransfer;
    for (int i = 0; i < 4; ++i)
        srb->HA_Unique[4 + i] = static_cast<uint8_t>(maxTransfer >> (8 * i));
    srb->HA_Rsvd1 = 0;
    srb->SRB_Status = SS_COMP;
    return SS_COMP;
}

uint32_t PassThroughLayer::Timeouts(SRB_GetSetTimeouts* srb)
{
    const uint8_t kAll = 0xFF;
    uint8_t direction = srb->SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
    bool get = direction == SRB_DIR_IN;
    // Reading names one device; setting may name them all.
    if ((!get && direction != SRB_DIR_OUT) ||
        (get && (srb->SRB_HaId == kAll || srb->SRB_Target == kAll || srb->SRB_Lun == kAll))) {
        srb->SRB_Status = SS_INVALID_SRB;
        return SS_INVALID_SRB;
    }
    uint8_t status = SS_NO_DEVICE;
    {
        ScopedLock held(lock);
        if (srb->SRB_HaId != kAll && srb->SRB_HaId >= adapterCount)
            status = SS_INVALID_HA;
        for (int i = 0; i < adapterCount; ++i) {
            const LayerAdapter& adapter = adapters[i];
            if ((srb->SRB_HaId != kAll && srb->SRB_HaId != i) ||
                (srb->SRB_Target != kAll && srb->SRB_Target != adapter.target) ||
                (srb->SRB_Lun != kAll && srb->SRB_Lun != adapter.lun))
                continue;
            uint32_t& seconds = timeoutByLetter[adapter.letter - 'A'];
            if (get)
                srb->SRB_Timeout = seconds;
            else
                seconds =
                    std::min<uint32_t>(srb->SRB_Timeout, PassThroughRequest::kMaxTimeoutSeconds);
            status = SS_COMP;
        }
    }
    srb->SRB_Status = status;
    return status;
}

uint32_t PassThroughLayer::DeviceType(SRB_GDEVBlock* srb)
{
    uint8_t status = SS_INVALID_HA;
    {
        ScopedLock held(lock);
        if (srb->SRB_HaId < adapterCount) {
            const LayerAdapter& adapter = adapters[srb->SRB_HaId];
            status = srb->SRB_Target == adapter.target && srb->SRB_Lun == adapter.lun
                         ? SS_COMP
                         : SS_NO_DEVICE;
        }
    }
    if (status == SS_COMP)
        srb->SRB_DeviceType = DTYPE_CDROM;
    srb->SRB_Status = status;
    return status;
}

AdapterCall* PassThroughLayer::NewCall()
{
    return new (std::nothrow) PassThroughRequest();
}

void PassThroughLayer::Prepare(int index)
{
    adapters[index].cancelled = false;
    ResetEvent(adapters[index].wake);
}

void PassThroughLayer::Cancel(int index)
{
    // The worker cancels the call it issued; the result follows from there.
    adapters[index].cancelled = true;
    SetEvent(adapters[index].wake);
}

uint32_t PassThroughLayer::TimeoutSeconds(int index)
{
    return timeoutByLetter[adapters[index].letter - 'A'];
}

bool PassThroughLayer::StartWorker(int index)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    HMODULE reference = LoadLibraryA(path);
    if (reference == nullptr)
        return false;
    WorkerStart* start = new (std::nothrow) WorkerStart{this, index};
    DWORD id = 0;
    HANDLE thread =
        start != nullptr ? CreateThread(nullptr, 0, WorkerMain, start, 0, &id) : nullptr;
    if (thread == nullptr) {
        delete start;
        FreeLibrary(reference);
        return false;
    }
    CloseHandle(thread);
    return true;
}

// Every call the queue gives is one of the layer's own (NewCall).
void PassThroughLayer::Run(int index, AdapterCall& call)
{
    PassThroughRequest& request = static_cast<PassThroughRequest&>(call);
    DWORD elapsedMs = 0;
    DWORD error = RunRequest(adapters[index], request, elapsedMs);
    request.Ended(error, elapsedMs);
}

DWORD PassThroughLayer::RunRequest(LayerAdapter& adapter, PassThroughRequest& request,
                                   DWORD& elapsedMs)
{
    DWORD started = GetTickCount();
    DWORD error = Transfer(adapter, request);
    elapsedMs = GetTickCount() - started;
    if (error != ERROR_MEDIA_CHANGED && error != ERROR_INVALID_HANDLE)
        return error;
    // The handle went stale (a new medium, a drive that came back): the command did not
    // reach the drive. One new handle, one more try.
    bool cancelled = false;
    {
        ScopedLock held(lock);
        cancelled = adapter.cancelled;
    }
    if (cancelled)
        return PassThroughRequest::kErrorOperationAborted;
    if (!Reopen(adapter))
        return error;
    started = GetTickCount();
    error = Transfer(adapter, request);
    elapsedMs = GetTickCount() - started;
    return error;
}

DWORD PassThroughLayer::Transfer(LayerAdapter& adapter, PassThroughRequest& pass)
{
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD returned = 0;
    DWORD error = 0;
    if (!DeviceIoControl(adapter.device, IOCTL_SCSI_PASS_THROUGH, pass.Buffer(), pass.BufferSize(),
                         pass.Buffer(), pass.BufferSize(), &returned, &overlapped))
        error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        HANDLE events[2] = {overlapped.hEvent, adapter.wake};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            if (cancelIoEx != nullptr)
                cancelIoEx(adapter.device, &overlapped);
            else
                CancelIo(adapter.device);
        }
        // Until the call has ended, the buffer and the OVERLAPPED belong to the driver.
        error =
            GetOverlappedResult(adapter.device, &overlapped, &returned, TRUE) ? 0 : GetLastError();
    }
    CloseHandle(overlapped.hEvent);
    return error;
}

void PassThroughLayer::Notify(uint8_t flags, void* postProc, SRB_ExecSCSICmd* srb)
{
    if ((flags & SRB_EVENT_NOTIFY) && postProc != nullptr) {
        SetEvent(static_cast<HANDLE>(postProc));
        return;
    }
    if ((flags & SRB_POSTING) && postProc != nullptr) {
        typedef void(__cdecl * PostFn)(void*);
        reinterpret_cast<PostFn>(postProc)(srb);
    }
}
