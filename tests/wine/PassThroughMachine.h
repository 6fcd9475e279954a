// A Windows machine behind our WNASPI32.dll for the tests: drive letters, device handles
// and pass-through calls answered by stand-ins in the layer's import table, with the
// drive model of sim/ behind the pass-through. One machine for the whole process: the
// stand-ins stay in place, each test configures it anew.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "DriveModel.h"
#include "ImportPatch.h"

// One drive letter.
struct MachineDrive {
    char letter;
    UINT type;           // what GetDriveTypeA answers
    int adapter, target; // the drive model's device behind a CD-ROM letter
    bool answersAddress; // IOCTL_SCSI_GET_ADDRESS answered, with the two values below
    uint8_t addressTarget, addressLun;
    DWORD openError; // CreateFileA fails with it (0: it opens)
    bool denyWrite;  // an open for writing fails with ERROR_ACCESS_DENIED
};

// A CD-ROM letter whose drive answers GET_ADDRESS with the model's own target.
MachineDrive CdromDrive(char letter, int adapter, int target);

struct MachineOpen {
    std::string path;
    DWORD access, share, disposition, flags;
};

// One pass-through call that has not ended (a drive that never answers).
struct HungCall {
    HANDLE device;
    OVERLAPPED* overlapped;
    uint8_t* buffer;
    DWORD issuingThread;
};

class PassThroughMachine {
public:
    // The machine of the process, with the layer loaded as sptilayer.dll.
    static PassThroughMachine& Get();

    // "" when the layer is loaded and every stand-in is in place.
    std::string Ready() const { return ready; }
    HMODULE Module() const { return module; }

    // A new machine: the scenario for the drive model, the drive letters, no faults of
    // the Windows side, empty records. Any call still hanging is ended first.
    std::string Configure(const char* scenario, const std::vector<MachineDrive>& drives);
    uint32_t SupportInfo();
    uint32_t Send(void* request);

    std::vector<SimRequestRecord> Requests();
    std::vector<uint8_t> DataOut(int index);
    void ClearLog();

    // Windows side faults.
    // Handles opened so far fail their next pass-through with ERROR_MEDIA_CHANGED.
    void ChangeMedium(char letter);
    // The next count pass-through calls fail with error.
    void FailPassThrough(DWORD error, int count);
    // CancelIo/CancelIoEx end hanging calls (true) or are ignored, as by a driver that
    // holds on to its request (false). CancelIoEx is offered to the layer or not.
    bool cancelEnds;
    bool offerCancelIoEx;
    // Ends every hanging call: cancelled, or as if the drive finally answered with data.
    void ReleaseHung(bool withData);
    size_t HungCount();

    std::vector<MachineOpen> Opens();
    // TimeOutValue of each pass-through call, in order.
    std::vector<uint32_t> TimeOuts();
    int DeviceHandlesClosed();
    int DriveTypeQueries();
    int CancelIoCalls();
    int CancelIoExCalls();
    // Thread of the CancelIo calls, and of the call they cancelled.
    DWORD cancelThread, cancelledThread;
    // Control codes other than GET_ADDRESS and buffered pass-through, and pass-through
    // calls without an OVERLAPPED or with a malformed buffer.
    std::vector<std::string> Complaints();

    // Stand-in bodies.
    UINT DriveType(LPCSTR root);
    HANDLE Open(LPCSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    bool IsDevice(HANDLE handle);
    BOOL Close(HANDLE handle);
    BOOL Control(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned, OVERLAPPED* overlapped);
    BOOL Result(HANDLE handle, OVERLAPPED* overlapped, DWORD* returned, BOOL wait);
    BOOL Cancel(HANDLE handle, OVERLAPPED* overlapped, bool ex);

private:
    struct DeviceHandle {
        HANDLE value;
        size_t drive;
        bool readOnly;
        bool closed;
        int mediumEpoch;
    };

    PassThroughMachine();
    BOOL PassThrough(DeviceHandle& device, uint8_t* buffer, DWORD size, DWORD* returned,
                     OVERLAPPED* overlapped);
    DeviceHandle* Find(HANDLE handle);
    BOOL Finish(OVERLAPPED* overlapped, DWORD error, DWORD bytes, DWORD* returned);
    void EndHung(const HungCall& call, bool withData);

    CRITICAL_SECTION lock;
    HMODULE module;
    std::string ready;
    std::vector<std::unique_ptr<ImportPatch>> patches;
    DriveModel model;
    std::vector<MachineDrive> drives;
    std::vector<int> mediumEpochs;
    std::vector<DeviceHandle> handles;
    std::vector<MachineOpen> opens;
    std::vector<HungCall> hung;
    std::vector<uint32_t> timeOuts;
    std::vector<std::string> complaints;
    DWORD injectedError;
    int injectedCount;
    int closes, typeQueries, cancelIoCalls, cancelIoExCalls;
};
