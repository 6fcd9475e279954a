#include "PassThroughMachine.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "PassThroughRequest.h"

namespace {

// OVERLAPPED.Internal of a call that has not ended; once ended it holds the Win32 error
// (the stand-ins are the only ones to read it).
const ULONG_PTR kCallPending = ~static_cast<ULONG_PTR>(0);
const uintptr_t kFirstHandle = 0x7A000000;

UINT WINAPI StandInGetDriveTypeA(LPCSTR root)
{
    return PassThroughMachine::Get().DriveType(root);
}

HANDLE WINAPI StandInCreateFileA(LPCSTR path, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                 HANDLE templateFile)
{
    if (path != nullptr && std::strncmp(path, "\\\\.\\", 4) == 0)
        return PassThroughMachine::Get().Open(path, access, share, disposition, flags);
    return CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI StandInCloseHandle(HANDLE handle)
{
    PassThroughMachine& machine = PassThroughMachine::Get();
    return machine.IsDevice(handle) ? machine.Close(handle) : CloseHandle(handle);
}

BOOL WINAPI StandInDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                   DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped)
{
    PassThroughMachine& machine = PassThroughMachine::Get();
    if (!machine.IsDevice(handle))
        return DeviceIoControl(handle, code, in, inSize, out, outSize, returned, overlapped);
    return machine.Control(handle, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL WINAPI StandInGetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD returned,
                                       BOOL wait)
{
    PassThroughMachine& machine = PassThroughMachine::Get();
    if (!machine.IsDevice(handle))
        return GetOverlappedResult(handle, overlapped, returned, wait);
    return machine.Result(handle, overlapped, returned, wait);
}

BOOL WINAPI StandInCancelIo(HANDLE handle)
{
    return PassThroughMachine::Get().Cancel(handle, nullptr, false);
}

BOOL WINAPI StandInCancelIoEx(HANDLE handle, LPOVERLAPPED overlapped)
{
    return PassThroughMachine::Get().Cancel(handle, overlapped, true);
}

FARPROC WINAPI StandInGetProcAddress(HMODULE module, LPCSTR name)
{
    if (HIWORD(reinterpret_cast<uintptr_t>(name)) != 0 && std::strcmp(name, "CancelIoEx") == 0) {
        if (PassThroughMachine::Get().offerCancelIoEx)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&StandInCancelIoEx));
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return GetProcAddress(module, name);
}

template <typename Fn> void* Address(Fn fn)
{
    return reinterpret_cast<void*>(fn);
}

} // namespace

MachineDrive CdromDrive(char letter, int adapter, int target)
{
    MachineDrive drive = {letter, DRIVE_CDROM, adapter, target, true, static_cast<uint8_t>(target),
                          0,      0,           false};
    return drive;
}

PassThroughMachine& PassThroughMachine::Get()
{
    static PassThroughMachine machine;
    return machine;
}

PassThroughMachine::PassThroughMachine()
    : cancelEnds(true), offerCancelIoEx(true), cancelThread(0), cancelledThread(0),
      module(LoadLibraryA("sptilayer.dll")), injectedError(0), injectedCount(0), closes(0),
      typeQueries(0), cancelIoCalls(0), cancelIoExCalls(0)
{
    InitializeCriticalSection(&lock);
    if (module == nullptr) {
        ready = "sptilayer.dll (our WNASPI32.dll) is not beside the test program";
        return;
    }
    const struct {
        const char* name;
        void* standIn;
    } imports[] = {
        {"GetDriveTypeA", Address(&StandInGetDriveTypeA)},
        {"CreateFileA", Address(&StandInCreateFileA)},
        {"CloseHandle", Address(&StandInCloseHandle)},
        {"DeviceIoControl", Address(&StandInDeviceIoControl)},
        {"GetOverlappedResult", Address(&StandInGetOverlappedResult)},
        {"CancelIo", Address(&StandInCancelIo)},
        {"GetProcAddress", Address(&StandInGetProcAddress)},
    };
    for (const auto& import : imports) {
        patches.emplace_back(new ImportPatch(module, "kernel32.dll", import.name, import.standIn));
        if (!patches.back()->IsActive())
            ready = std::string("the layer does not import ") + import.name;
    }
}

std::string PassThroughMachine::Configure(const char* scenario,
                                          const std::vector<MachineDrive>& newDrives)
{
    ReleaseHung(false);
    EnterCriticalSection(&lock);
    std::string result;
    if (!model.Configure(scenario))
        result = std::string("scenario: ") + model.LastError();
    drives = newDrives;
    mediumEpochs.assign(drives.size(), 0);
    // Handles of the machine before belong to no drive now.
    for (DeviceHandle& handle : handles)
        handle.drive = SIZE_MAX;
    opens.clear();
    complaints.clear();
    injectedError = 0;
    injectedCount = 0;
    closes = typeQueries = cancelIoCalls = cancelIoExCalls = 0;
    timeOuts.clear();
    cancelThread = cancelledThread = 0;
    cancelEnds = true;
    offerCancelIoEx = true;
    LeaveCriticalSection(&lock);
    return result;
}

uint32_t PassThroughMachine::SupportInfo()
{
    typedef uint32_t (*Fn)();
    Fn fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
    return fn != nullptr ? fn() : 0xFFFFFFFFu;
}

uint32_t PassThroughMachine::Send(void* request)
{
    typedef uint32_t (*Fn)(void*);
    Fn fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(2))));
    return fn != nullptr ? fn(request) : 0xFFFFFFFFu;
}

std::vector<SimRequestRecord> PassThroughMachine::Requests()
{
    EnterCriticalSection(&lock);
    std::vector<SimRequestRecord> records;
    for (int i = 0; i < model.RequestCount(); ++i) {
        SimRequestRecord record;
        if (model.GetRequest(i, record))
            records.push_back(record);
    }
    LeaveCriticalSection(&lock);
    return records;
}

std::vector<uint8_t> PassThroughMachine::DataOut(int index)
{
    std::vector<uint8_t> data(65536);
    EnterCriticalSection(&lock);
    data.resize(model.GetDataOut(index, data.data(), static_cast<uint32_t>(data.size())));
    LeaveCriticalSection(&lock);
    return data;
}

void PassThroughMachine::ClearLog()
{
    EnterCriticalSection(&lock);
    model.ClearLog();
    LeaveCriticalSection(&lock);
}

void PassThroughMachine::ChangeMedium(char letter)
{
    EnterCriticalSection(&lock);
    for (size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].letter == letter)
            ++mediumEpochs[i];
    }
    LeaveCriticalSection(&lock);
}

void PassThroughMachine::FailPassThrough(DWORD error, int count)
{
    EnterCriticalSection(&lock);
    injectedError = error;
    injectedCount = count;
    LeaveCriticalSection(&lock);
}

size_t PassThroughMachine::HungCount()
{
    EnterCriticalSection(&lock);
    size_t count = hung.size();
    LeaveCriticalSection(&lock);
    return count;
}

std::vector<MachineOpen> PassThroughMachine::Opens()
{
    EnterCriticalSection(&lock);
    std::vector<MachineOpen> copy = opens;
    LeaveCriticalSection(&lock);
    return copy;
}

std::vector<uint32_t> PassThroughMachine::TimeOuts()
{
    EnterCriticalSection(&lock);
    std::vector<uint32_t> copy = timeOuts;
    LeaveCriticalSection(&lock);
    return copy;
}

int PassThroughMachine::DeviceHandlesClosed()
{
    EnterCriticalSection(&lock);
    int count = closes;
    LeaveCriticalSection(&lock);
    return count;
}

int PassThroughMachine::DriveTypeQueries()
{
    EnterCriticalSection(&lock);
    int count = typeQueries;
    LeaveCriticalSection(&lock);
    return count;
}

int PassThroughMachine::CancelIoCalls()
{
    EnterCriticalSection(&lock);
    int count = cancelIoCalls;
    LeaveCriticalSection(&lock);
    return count;
}

int PassThroughMachine::CancelIoExCalls()
{
    EnterCriticalSection(&lock);
    int count = cancelIoExCalls;
    LeaveCriticalSection(&lock);
    return count;
}

std::vector<std::string> PassThroughMachine::Complaints()
{
    EnterCriticalSection(&lock);
    std::vector<std::string> copy = complaints;
    LeaveCriticalSection(&lock);
    return copy;
}

UINT PassThroughMachine::DriveType(LPCSTR root)
{
    EnterCriticalSection(&lock);
    ++typeQueries;
    UINT type = DRIVE_NO_ROOT_DIR;
    for (const MachineDrive& drive : drives) {
        if (root != nullptr && root[0] == drive.letter && std::strcmp(root + 1, ":\\") == 0)
            type = drive.type;
    }
    LeaveCriticalSection(&lock);
    return type;
}

HANDLE PassThroughMachine::Open(LPCSTR path, DWORD access, DWORD share, DWORD disposition,
                                DWORD flags)
{
    EnterCriticalSection(&lock);
    opens.push_back({path, access, share, disposition, flags});
    DWORD error = ERROR_FILE_NOT_FOUND;
    HANDLE value = INVALID_HANDLE_VALUE;
    for (size_t i = 0; i < drives.size(); ++i) {
        const MachineDrive& drive = drives[i];
        if (std::strlen(path) != 6 || path[4] != drive.letter || path[5] != ':')
            continue;
        error = drive.openError;
        if (error == 0 && drive.denyWrite && (access & GENERIC_WRITE))
            error = ERROR_ACCESS_DENIED;
        if (error != 0)
            break;
        value = reinterpret_cast<HANDLE>(kFirstHandle + 4 * handles.size());
        handles.push_back({value, i, (access & GENERIC_WRITE) == 0, false, mediumEpochs[i]});
    }
    LeaveCriticalSection(&lock);
    if (value == INVALID_HANDLE_VALUE)
        SetLastError(error);
    return value;
}

PassThroughMachine::DeviceHandle* PassThroughMachine::Find(HANDLE handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kFirstHandle || (value - kFirstHandle) / 4 >= handles.size())
        return nullptr;
    return &handles[(value - kFirstHandle) / 4];
}

bool PassThroughMachine::IsDevice(HANDLE handle)
{
    EnterCriticalSection(&lock);
    bool found = Find(handle) != nullptr;
    LeaveCriticalSection(&lock);
    return found;
}

BOOL PassThroughMachine::Close(HANDLE handle)
{
    EnterCriticalSection(&lock);
    DeviceHandle* device = Find(handle);
    BOOL ok = device != nullptr && !device->closed;
    if (ok) {
        device->closed = true;
        if (device->drive != SIZE_MAX)
            ++closes; // not those of an earlier machine
    }
    LeaveCriticalSection(&lock);
    if (!ok)
        SetLastError(ERROR_INVALID_HANDLE);
    return ok;
}

BOOL PassThroughMachine::Finish(OVERLAPPED* overlapped, DWORD error, DWORD bytes, DWORD* returned)
{
    if (overlapped != nullptr) {
        overlapped->InternalHigh = bytes;
        overlapped->Internal = error;
        if (overlapped->hEvent != nullptr)
            SetEvent(overlapped->hEvent);
    }
    if (returned != nullptr)
        *returned = bytes;
    SetLastError(error);
    return error == 0;
}

BOOL PassThroughMachine::Control(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned, OVERLAPPED* overlapped)
{
    EnterCriticalSection(&lock);
    DeviceHandle* device = Find(handle);
    if (device->closed || device->drive >= drives.size()) {
        LeaveCriticalSection(&lock);
        return Finish(overlapped, ERROR_INVALID_HANDLE, 0, returned);
    }
    const MachineDrive& drive = drives[device->drive];
    if (code == IOCTL_SCSI_GET_ADDRESS) {
        bool answers = drive.answersAddress && out != nullptr && outSize >= sizeof(SCSI_ADDRESS);
        if (answers) {
            SCSI_ADDRESS address = {sizeof address, 1, 0, drive.addressTarget, drive.addressLun};
            std::memcpy(out, &address, sizeof address);
        }
        LeaveCriticalSection(&lock);
        // What a USB or FireWire bridge's driver answers.
        return answers ? Finish(overlapped, 0, sizeof(SCSI_ADDRESS), returned)
                       : Finish(overlapped, ERROR_INVALID_FUNCTION, 0, returned);
    }
    if (code != IOCTL_SCSI_PASS_THROUGH || overlapped == nullptr || in != out ||
        inSize != outSize) {
        char text[96];
        std::snprintf(text, sizeof text, "control code %08lX, overlapped %d, in %s out", code,
                      overlapped != nullptr, in == out ? "==" : "!=");
        complaints.push_back(text);
        LeaveCriticalSection(&lock);
        return Finish(overlapped, ERROR_INVALID_FUNCTION, 0, returned);
    }
    // Windows opens a drive for pass-through only with write access.
    DWORD error = 0;
    if (device->readOnly)
        error = ERROR_ACCESS_DENIED;
    else if (device->mediumEpoch != mediumEpochs[device->drive])
        error = ERROR_MEDIA_CHANGED;
    else if (injectedCount > 0) {
        error = injectedError;
        --injectedCount;
    }
    if (error != 0) {
        LeaveCriticalSection(&lock);
        return Finish(overlapped, error, 0, returned);
    }
    DeviceHandle copy = *device;
    LeaveCriticalSection(&lock);
    return PassThrough(copy, static_cast<uint8_t*>(in), inSize, returned, overlapped);
}

BOOL PassThroughMachine::PassThrough(DeviceHandle& device, uint8_t* buffer, DWORD size,
                                     DWORD* returned, OVERLAPPED* overlapped)
{
    PassThroughHeader header;
    std::memcpy(&header, buffer, sizeof header);
    EnterCriticalSection(&lock);
    timeOuts.push_back(header.TimeOutValue);
    LeaveCriticalSection(&lock);
    bool wellFormed = size >= sizeof header && header.Length == sizeof header &&
                      header.DataBufferOffset + header.DataTransferLength <= size &&
                      header.SenseInfoOffset + header.SenseInfoLength <= size &&
                      header.CdbLength <= 16;
    EnterCriticalSection(&lock);
    if (!wellFormed) {
        complaints.push_back("malformed pass-through buffer");
        LeaveCriticalSection(&lock);
        return Finish(overlapped, ERROR_INVALID_PARAMETER, 0, returned);
    }
    const MachineDrive& drive = drives[device.drive];
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = static_cast<uint8_t>(drive.adapter);
    srb.SRB_Target = static_cast<uint8_t>(drive.target);
    srb.SRB_Flags = header.DataIn == PassThroughRequest::kDataIn    ? SRB_DIR_IN
                    : header.DataIn == PassThroughRequest::kDataOut ? SRB_DIR_OUT
                                                                    : 0;
    srb.SRB_BufLen = header.DataTransferLength;
    srb.SRB_BufPointer = header.DataTransferLength > 0 ? buffer + header.DataBufferOffset : nullptr;
    srb.SRB_SenseLen = header.SenseInfoLength;
    srb.SRB_CDBLen = header.CdbLength;
    std::memcpy(srb.CDBByte, header.Cdb, header.CdbLength);
    SimSubmission submission;
    uint8_t accepted = model.Accept(&srb, submission);
    if (accepted != SS_PENDING) {
        LeaveCriticalSection(&lock);
        return Finish(overlapped, ERROR_IO_DEVICE, 0, returned);
    }
    if (submission.outcome.hang || submission.outcome.keep) {
        overlapped->Internal = kCallPending;
        hung.push_back({device.value, overlapped, buffer, GetCurrentThreadId()});
        model.SetFinalStatus(submission.sequence, SS_ABORTED);
        LeaveCriticalSection(&lock);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    LeaveCriticalSection(&lock);
    if (submission.outcome.delayMs > 0)
        Sleep(submission.outcome.delayMs);

    DriveModel::DeliverCompletion(&srb, submission);
    const SimOutcome& outcome = submission.outcome;
    EnterCriticalSection(&lock);
    model.SetFinalStatus(submission.sequence, outcome.srbStatus);
    LeaveCriticalSection(&lock);
    // A status the drive cannot give (an adapter's own status) is a failed call.
    if (outcome.srbStatus != SS_COMP && !(outcome.srbStatus == SS_ERR && outcome.targetStatus != 0))
        return Finish(overlapped, ERROR_IO_DEVICE, 0, returned);
    header.ScsiStatus = outcome.targetStatus;
    header.SenseInfoLength = 0;
    if (outcome.hasSense) {
        uint8_t count = srb.SRB_SenseLen < 18 ? srb.SRB_SenseLen : 18;
        std::memcpy(buffer + header.SenseInfoOffset, srb.SenseArea, count);
        header.SenseInfoLength = count;
    }
    if (header.DataIn == PassThroughRequest::kDataIn)
        header.DataTransferLength = outcome.dataInLength < header.DataTransferLength
                                        ? outcome.dataInLength
                                        : header.DataTransferLength;
    std::memcpy(buffer, &header, sizeof header);
    return Finish(overlapped, 0,
                  static_cast<DWORD>(header.DataBufferOffset) + header.DataTransferLength,
                  returned);
}

BOOL PassThroughMachine::Result(HANDLE handle, OVERLAPPED* overlapped, DWORD* returned, BOOL wait)
{
    (void)handle;
    if (*reinterpret_cast<volatile ULONG_PTR*>(&overlapped->Internal) == kCallPending) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        WaitForSingleObject(overlapped->hEvent, INFINITE);
    }
    DWORD error = static_cast<DWORD>(overlapped->Internal);
    *returned = static_cast<DWORD>(overlapped->InternalHigh);
    SetLastError(error);
    return error == 0;
}

void PassThroughMachine::EndHung(const HungCall& call, bool withData)
{
    if (!withData) {
        Finish(call.overlapped, ERROR_OPERATION_ABORTED, 0, nullptr);
        return;
    }
    // The drive answers at last: GOOD, every byte of data in a pattern.
    PassThroughHeader header;
    std::memcpy(&header, call.buffer, sizeof header);
    header.ScsiStatus = 0;
    std::memset(call.buffer + header.DataBufferOffset, 0x5A, header.DataTransferLength);
    std::memcpy(call.buffer, &header, sizeof header);
    Finish(call.overlapped, 0,
           static_cast<DWORD>(header.DataBufferOffset) + header.DataTransferLength, nullptr);
}

BOOL PassThroughMachine::Cancel(HANDLE handle, OVERLAPPED* overlapped, bool ex)
{
    EnterCriticalSection(&lock);
    if (ex)
        ++cancelIoExCalls;
    else
        ++cancelIoCalls;
    cancelThread = GetCurrentThreadId();
    std::vector<HungCall> ended;
    for (size_t i = 0; i < hung.size();) {
        bool match =
            hung[i].device == handle && (overlapped == nullptr || hung[i].overlapped == overlapped);
        if (match)
            cancelledThread = hung[i].issuingThread;
        if (match && cancelEnds) {
            ended.push_back(hung[i]);
            hung.erase(hung.begin() + i);
        } else {
            ++i;
        }
    }
    LeaveCriticalSection(&lock);
    for (const HungCall& call : ended)
        EndHung(call, false);
    return TRUE;
}

void PassThroughMachine::ReleaseHung(bool withData)
{
    EnterCriticalSection(&lock);
    std::vector<HungCall> ended;
    ended.swap(hung);
    LeaveCriticalSection(&lock);
    for (const HungCall& call : ended)
        EndHung(call, withData);
}
