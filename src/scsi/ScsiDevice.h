// The drive connection over ASPI for Win32: the address of the drive, one pending
// request, the transfer buffer, the sense of the last command and the drive table.
// Free of <windows.h>: the command-line interpreter, which builds natively too, writes
// the pending request through SetRequest. AspiLayer sends the requests;
// ScsiDeviceWin32.cpp finds WNASPI32.dll and asks Windows what the drives are.
//
// One thread at a time uses a device: the panel's thread, or the transfer worker while it
// writes (host/TransferHandoff decides which).
#pragma once

#include <cstdint>

#include "scsi/AspiLayer.h"
#include "scsi/AspiTypes.h"
#include "scsi/DriveEntry.h"
#include "scsi/ScsiRequest.h"

class ScsiDevice {
public:
    enum { kMaxBuffer = 65536, kMaxDrives = 8, kDefaultTimeoutMs = 7200 };

    explicit ScsiDevice(int requestedSize);
    // Releases the transfer buffer. Not to be run while IsRequestHeld(): the layer may
    // still write into the request block and the buffer (the owner keeps such a device
    // rather than free it).
    ~ScsiDevice();
    ScsiDevice(const ScsiDevice&) = delete;
    ScsiDevice& operator=(const ScsiDevice&) = delete;

    // False when the transfer buffer could not be had: as good as no device.
    bool HasBuffer() const { return bufferBlock != nullptr; }
    uint32_t BufferCapacity() const { return bufferCapacity; }
    uint8_t* DataBuffer() { return bufferBlock; }
    const uint8_t* DataBuffer() const { return bufferBlock; }
    bool IsWindows9x() const { return isWindows9x; }

    uint8_t GetAdapterCount() const { return adapterCount; }
    uint8_t AdapterId() const { return adapterId; }
    uint8_t TargetId() const { return targetId; }
    ScsiDevice& SetAdapter(uint8_t id);
    ScsiDevice& SetTarget(uint8_t id);
    // The caller keeps index below DriveCount; an index outside the table changes nothing.
    ScsiDevice& SelectDrive(uint8_t index);
    int DriveCount() const { return driveCount; }
    // The caller keeps index below DriveCount.
    const DriveEntry& Drive(int index) const { return drives[index]; }

    // The one way to the pending request.
    void SetRequest(const ScsiRequest& request) { pending = request; }
    const ScsiRequest& PendingRequest() const { return pending; }
    // Makes the given bytes the pending request (12- and 10-byte command blocks); the
    // pending time-out stays.
    void SetCommandBlock(const uint8_t* bytes, uint8_t dir, uint32_t length);
    void SetCommandBlock10(const uint8_t* bytes, uint8_t dir, uint32_t length);

    // Runs the pending request and blocks until the drive completes it or its time-out
    // passes. True: SS_COMP, no sense data, no time-out. False: anything else; SenseKey,
    // Asc and Ascq then hold this command's sense unless the wait timed out (IsTimedOut,
    // SenseKey 0, Asc and Ascq of the previous command).
    bool ExecuteCommand();
    // True when the request completed with SS_COMP, no sense data and no time-out.
    bool CommandSucceeded() const;
    uint8_t SenseKey() const { return senseKey; }
    uint8_t Asc() const { return asc; }
    uint8_t Ascq() const { return ascq; }
    bool IsTimedOut() const { return timedOut; }
    // The ASPI request block as the last command left it.
    const SRB_ExecSCSICmd& RequestBlock() const { return srb; }
    // Asks the ASPI layer to abort the request in the block; true when it answered SS_COMP.
    bool AbortCommand();
    // True while the ASPI layer still owns a request that timed out and was not given back
    // on abort: the request block and buffer must then be neither reused nor freed.
    bool IsRequestHeld() const { return requestHeld; }
    // Sends through a layer linked into the program instead of WNASPI32.dll, which the
    // caller keeps while the device lives, and takes its adapter count.
    void AttachLayer(LinkedAspiLayer& linked);

    // Probes targets 0 to 7 of every adapter with INQUIRY and records the CD-ROM drives.
    void DiscoverDrives();
    // Fills an entry's texts from the INQUIRY data at the start of the buffer.
    void CopyInquiryStrings(char* modelName, char* revision) const;

private:
    friend struct LibraryInternals; // the tests' view of the private state

    // Platform side (ScsiDeviceWin32.cpp, or ScsiDeviceNative.cpp where there is no
    // ASPI): learns the Windows family and loads the layer.
    void BindPlatform();
    // GetDriveTypeA of "X:\" on Windows.
    static unsigned DriveTypeOfLetter(char letter);
    // Asks the bound layer for its host adapters.
    void ReadAdapterCount();
    // Copies sense key, ASC and ASCQ out of the request's sense area.
    void ExtractSense();
    // Completes the bookkeeping of a request the layer kept after a time-out; true once
    // the layer has given it back, false while it still holds it.
    bool ReclaimHeldRequest();

    // The command trace (ScsiDeviceTrace.cpp). TraceRequest writes the pending request as
    // it goes to the layer and returns the time it went; the others write how it ended.
    uint32_t TraceRequest() const;
    void TraceNotSent(const char* reason) const;
    void TraceResult(uint32_t sentAt, bool succeeded) const;
    void TraceTimeOut(uint32_t sentAt, bool abortAnswered, bool givenBack) const;
    // What one discovery probe found at adapter a, target t.
    void TraceProbe(unsigned a, unsigned t, bool answered, const DriveEntry* recorded) const;

    uint8_t adapterCount;
    uint8_t adapterId;
    uint8_t targetId;
    // The block is packed; the layer still reads its pointers and lengths as whole
    // words, which on some layers and processors must not straddle a word boundary.
    alignas(4) SRB_ExecSCSICmd srb;
    ScsiRequest pending;
    uint8_t* bufferBlock;
    uint32_t bufferCapacity;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    bool timedOut;
    bool isWindows9x;
    DriveEntry drives[kMaxDrives];
    uint8_t driveCount;
    AspiLayer layer;
    // The layer kept the request after a time-out; its event is still in srb.
    bool requestHeld;
};
