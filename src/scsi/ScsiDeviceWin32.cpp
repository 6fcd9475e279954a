// The ASPI side of ScsiDevice: binding WNASPI32.dll, running one request with its
// completion event, aborting it, and the drive types of Windows drive letters.
#include <windows.h>

#include <cstddef>
#include <cstring>

#include "scsi/ScsiDevice.h"
#include "trace/Trace.h"

// ScsiDevice is not a standard-layout class, but it has no base and nothing virtual:
// offsetof gives the true place of its request block.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(ScsiDevice, srb) % 4 == 0, "the request block must be word-aligned");
#pragma GCC diagnostic pop

namespace {

// After a time-out the request is aborted; a layer that honours the abort gives the
// block back within this time. A layer that does not is left holding it (see
// ReclaimHeldRequest) rather than having the block reused under its feet.
const DWORD kAbortGraceMs = 2000;

const int kOsVersionInfoSize = 148; // sizeof(OSVERSIONINFOA)

int LayerHasGivenBack(const volatile SRB_ExecSCSICmd& srb, HANDLE event, DWORD waitMs)
{
    if (WaitForSingleObject(event, waitMs) != WAIT_OBJECT_0)
        return 0;
    return srb.SRB_Status != SS_PENDING;
}

} // namespace

void ScsiDevice::BindPlatform()
{
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kOsVersionInfoSize;
    isWindows9x = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    Trace::Line("windows %lu.%lu build %lu, %s", version.dwMajorVersion, version.dwMinorVersion,
                version.dwBuildNumber & 0xFFFF, isWindows9x ? "9x" : "NT");

    // Bound at run time and by ordinal: a machine without an ASPI layer still loads the
    // library, and simply has no host adapters.
    HMODULE module = LoadLibraryA("WNASPI32.dll");
    if (module == nullptr) {
        Trace::Line("aspi: WNASPI32.dll not found, no host adapters");
        return;
    }
    aspiModule = module;
    getSupportInfo = reinterpret_cast<SupportInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
    sendCommand = reinterpret_cast<SendCommandFn>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(2))));
    if (getSupportInfo == nullptr || sendCommand == nullptr) {
        Trace::Line("aspi: WNASPI32.dll lacks ordinal 1 or 2, no host adapters");
        return;
    }

    // Status in bits 15-8, number of host adapters in bits 7-0.
    uint32_t info = getSupportInfo();
    if (((info >> 8) & 0xFF) == SS_COMP)
        adapterCount = static_cast<uint8_t>(info & 0xFF);
    Trace::Line("aspi: support word %04lX, %u host adapter(s)",
                static_cast<unsigned long>(info & 0xFFFF), static_cast<unsigned>(adapterCount));
}

void ScsiDevice::ReleasePlatform()
{
    // A layer that still owns a request may still write into it: it keeps its module.
    if (heldEvent != nullptr)
        return;
    if (aspiModule != nullptr)
        FreeLibrary(static_cast<HMODULE>(aspiModule));
    aspiModule = nullptr;
}

unsigned ScsiDevice::DriveTypeOfLetter(char letter)
{
    char root[4] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root);
}

int ScsiDevice::ReclaimHeldRequest()
{
    if (heldEvent == nullptr)
        return 1;
    HANDLE event = static_cast<HANDLE>(heldEvent);
    if (!LayerHasGivenBack(srb, event, 0))
        return 0;
    CloseHandle(event);
    heldEvent = nullptr;
    return 1;
}

int ScsiDevice::ExecuteCommand()
{
    if (!ReclaimHeldRequest()) {
        // Still the request of an earlier command: nothing of the block may change.
        senseKey = 0;
        timedOut = 1;
        TraceNotSent("the layer still holds the request of an earlier command");
        return 0;
    }
    if (adapterId >= adapterCount || sendCommand == nullptr) {
        TraceNotSent("no such host adapter");
        return 0;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        TraceNotSent("no completion event");
        return 0;
    }

    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapterId;
    // Windows 9x ASPI layers take the direction from the command and reject the
    // direction bits; NT layers need them.
    srb.SRB_Flags =
        static_cast<uint8_t>(isWindows9x ? SRB_EVENT_NOTIFY : direction | SRB_EVENT_NOTIFY);
    srb.SRB_Target = targetId;
    srb.SRB_Lun = 0;
    srb.SRB_BufLen = dataLength;
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.SRB_BufPointer = dataBuffer;
    srb.SRB_CDBLen = cdbLength;
    srb.SRB_PostProc = event;
    std::memcpy(srb.CDBByte, cdb, cdbLength);
    std::memset(srb.SenseArea, 0, ASPI_SENSE_LEN);

    // ASPI writes the status when it accepts or completes the request; a layer that
    // refuses without writing it must not leave an earlier success standing.
    srb.SRB_Status = SS_PENDING;
    senseKey = 0;
    timedOut = 0;
    ResetEvent(event);

    uint32_t sentAt = TraceRequest();
    uint32_t status = sendCommand(&srb);
    if (status == SS_PENDING && WaitForSingleObject(event, timeoutMs) != WAIT_OBJECT_0)
        timedOut = 1;

    if (timedOut) {
        int abortAnswered = AbortCommand();
        int givenBack = LayerHasGivenBack(srb, event, kAbortGraceMs);
        TraceTimeOut(sentAt, abortAnswered, givenBack);
        if (givenBack)
            CloseHandle(event);
        else
            heldEvent = event; // the layer may still signal it: keep it open
        return 0;
    }
    CloseHandle(event);
    ExtractSense();
    int succeeded = CommandSucceeded();
    TraceResult(sentAt, succeeded);
    return succeeded;
}

int ScsiDevice::AbortCommand()
{
    if (sendCommand == nullptr)
        return 0;
    alignas(4) SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = adapterId;
    abort.SRB_ToAbort = &srb;
    return sendCommand(&abort) == SS_COMP;
}
