// The drive connection over ASPI for Win32: the address of the drive, one pending
// request, the transfer buffer, the sense of the last command and the drive table.
// Free of <windows.h>: the request fields are written by the command-line
// interpreter, which also builds natively. AspiLayer sends the requests;
// ScsiDeviceWin32.cpp finds WNASPI32.dll and asks Windows what the drives are.
#pragma once

#include <cstdint>

#include "scsi/AspiLayer.h"
#include "scsi/AspiTypes.h"
#include "scsi/DriveEntry.h"

class ScsiDevice {
public:
    enum { kMaxBuffer = 65536, kMaxDrives = 8, kDefaultTimeoutMs = 7200 };

    explicit ScsiDevice(int requestedSize);
    // Releases the transfer buffer. Not to be run while IsRequestHeld(): the layer may
    // still write into the request block and the buffer (the Downloader keeps such a
    // device rather than free it).
    ~ScsiDevice();
    ScsiDevice(const ScsiDevice&) = delete;
    ScsiDevice& operator=(const ScsiDevice&) = delete;

    uint8_t GetAdapterCount() const { return adapterCount; }
    ScsiDevice& SetAdapter(uint8_t id);
    ScsiDevice& SetTarget(uint8_t id);
    // The caller keeps index below driveCount; an index outside the table changes nothing.
    ScsiDevice& SelectDrive(uint8_t index);

    // Makes the given bytes the pending request (12- and 10-byte command blocks).
    void SetCommandBlock(const uint8_t* bytes, uint8_t dir, uint32_t length);
    void SetCommandBlock10(const uint8_t* bytes, uint8_t dir, uint32_t length);

    // Runs the pending request and blocks until the drive completes it or timeoutMs
    // passes. 1: SS_COMP, no sense data, no time-out. 0: anything else; senseKey, asc and
    // ascq then hold this command's sense unless the wait timed out (timedOut 1, senseKey
    // 0, asc and ascq of the previous command).
    int ExecuteCommand();
    // Copies sense key, ASC and ASCQ out of the request's sense area.
    void ExtractSense();
    // 1 when the request completed with SS_COMP, no sense data and no time-out.
    int CommandSucceeded() const;
    int IsTimedOut() const { return timedOut; }
    // Asks the ASPI layer to abort the request in srb; 1 when it answered SS_COMP.
    int AbortCommand();
    // 1 while the ASPI layer still owns a request that timed out and was not given back
    // on abort: the request block and buffer must then be neither reused nor freed.
    int IsRequestHeld() const { return requestHeld; }
    // Sends through a layer linked into the program instead of WNASPI32.dll (the drive
    // model, in the native tests), and takes its adapter count.
    void AttachLayer(AspiLayer::SupportInfoFn supportInfo, AspiLayer::SendCommandFn sendCommand);

    // Probes targets 0 to 7 of every adapter with INQUIRY and records the CD-ROM drives.
    void DiscoverDrives();
    // Fills an entry's texts from the INQUIRY data at the start of dataBuffer.
    void CopyInquiryStrings(char* modelName, char* revision) const;

    uint8_t adapterCount;
    uint8_t adapterId;
    uint8_t targetId;
    // The block is packed; the layer still reads its pointers and lengths as whole
    // words, which on some layers and processors must not straddle a word boundary.
    alignas(4) SRB_ExecSCSICmd srb;
    uint8_t direction;
    uint32_t dataLength;
    uint8_t* dataBuffer;
    uint8_t* bufferBlock;
    uint32_t bufferCapacity;
    uint8_t cdb[12];
    uint8_t cdbLength;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    uint32_t timeoutMs;
    int32_t timedOut;
    uint32_t isWindows9x;
    DriveEntry drives[kMaxDrives];
    uint8_t driveCount;

private:
    // Platform side (ScsiDeviceWin32.cpp, or ScsiDeviceNative.cpp where there is no
    // ASPI): learns the Windows family and loads the layer.
    void BindPlatform();
    // GetDriveTypeA of "X:\" on Windows.
    static unsigned DriveTypeOfLetter(char letter);
    // Asks the bound layer for its host adapters.
    void ReadAdapterCount();
    // Completes the bookkeeping of a request the layer kept after a time-out; 1 once the
    // layer has given it back, 0 while it still holds it.
    int ReclaimHeldRequest();

    // The command trace (ScsiDeviceTrace.cpp). TraceRequest writes the pending request as
    // it goes to the layer and returns the time it went; the others write how it ended.
    uint32_t TraceRequest() const;
    void TraceNotSent(const char* reason) const;
    void TraceResult(uint32_t sentAt, int succeeded) const;
    void TraceTimeOut(uint32_t sentAt, int abortAnswered, int givenBack) const;
    // What one discovery probe found at adapter a, target t.
    void TraceProbe(unsigned a, unsigned t, int answered, const DriveEntry* recorded) const;

    AspiLayer layer;
    // The layer kept the request after a time-out; its event is still in srb.
    int requestHeld;
};
