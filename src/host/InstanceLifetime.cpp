#include "host/InstanceLifetime.h"

#include "host/Downloader.h"

// The linker's name for the start of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

InstanceLifetime instanceLifetime;

namespace {

// A reference on the module holding this code, so that a host freeing the library
// cannot unmap it under a running worker. Null when the code is linked into the program
// itself, which is never unloaded.
int ReferenceOwnLibrary(HMODULE* reference)
{
    *reference = nullptr;
    HMODULE self = reinterpret_cast<HMODULE>(&__ImageBase);
    if (self == GetModuleHandleA(nullptr))
        return 1;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    *reference = LoadLibraryA(path);
    return *reference != nullptr;
}

} // namespace

InstanceLifetime::InstanceLifetime()
    : ownerThread(0), panelDepth(0), deferredDestroy(nullptr), transferInstance(nullptr),
      workerHolds(0), orphaned(0), workerLibrary(nullptr)
{
    InitializeCriticalSection(&lock);
}

InstanceLifetime::~InstanceLifetime()
{
    DeleteCriticalSection(&lock);
}

int InstanceLifetime::IsOwnerThread() const
{
    return theDownloader == nullptr || GetCurrentThreadId() == ownerThread;
}

int InstanceLifetime::MayCreate()
{
    if (!IsOwnerThread() || panelDepth > 0)
        return 0;
    return !IsTransferRunning();
}

void InstanceLifetime::Adopt(Downloader* created)
{
    theDownloader = created;
    ownerThread = GetCurrentThreadId();
}

int InstanceLifetime::Destroy()
{
    Downloader* downloader = theDownloader;
    if (downloader == nullptr)
        return 0;
    // From here on the exports see no instance, even while its freeing waits.
    theDownloader = nullptr;
    if (panelDepth > 0) {
        deferredDestroy = downloader;
        return 1;
    }
    Release(downloader);
    return 1;
}

void InstanceLifetime::Release(Downloader* downloader)
{
    EnterCriticalSection(&lock);
    int held = transferInstance == downloader && workerHolds;
    if (held)
        orphaned = 1;
    LeaveCriticalSection(&lock);
    if (!held) {
        delete downloader;
        return;
    }
    // The worker frees it once the drive has answered the write; until then only the
    // panel goes, and the callbacks lose their way to the instance.
    downloader->CloseDialog();
    if (currentDownloader == downloader)
        currentDownloader = nullptr;
}

void InstanceLifetime::EnterPanelCode()
{
    ++panelDepth;
}

void InstanceLifetime::LeavePanelCode()
{
    if (--panelDepth > 0 || deferredDestroy == nullptr)
        return;
    Downloader* downloader = deferredDestroy;
    deferredDestroy = nullptr;
    Release(downloader);
}

int InstanceLifetime::BeginTransfer(Downloader* downloader)
{
    HMODULE library = nullptr;
    if (!ReferenceOwnLibrary(&library))
        return 0;
    EnterCriticalSection(&lock);
    transferInstance = downloader;
    workerHolds = 1;
    orphaned = 0;
    workerLibrary = library;
    LeaveCriticalSection(&lock);
    return 1;
}

Downloader* InstanceLifetime::TransferInstance()
{
    EnterCriticalSection(&lock);
    Downloader* downloader = transferInstance;
    LeaveCriticalSection(&lock);
    return downloader;
}

void InstanceLifetime::AbandonTransfer()
{
    EnterCriticalSection(&lock);
    HMODULE library = workerLibrary;
    transferInstance = nullptr;
    workerHolds = 0;
    workerLibrary = nullptr;
    LeaveCriticalSection(&lock);
    if (library != nullptr)
        FreeLibrary(library);
}

void InstanceLifetime::EndTransfer(Downloader* downloader, LONG result, HWND disabledWindow)
{
    EnterCriticalSection(&lock);
    // Published only now: the panel's thread may use the device as soon as it sees it.
    InterlockedExchange(&downloader->transferState, result);
    int freeIt = orphaned;
    transferInstance = nullptr;
    workerHolds = 0;
    orphaned = 0;
    HMODULE library = workerLibrary;
    workerLibrary = nullptr;
    LeaveCriticalSection(&lock);
    // Nobody is left to report the result of a destroyed instance.
    if (freeIt)
        delete downloader;
    if (disabledWindow != nullptr && IsWindow(disabledWindow))
        EnableWindow(disabledWindow, TRUE);
    if (library != nullptr)
        FreeLibraryAndExitThread(library, 1);
    ExitThread(1);
}

int InstanceLifetime::IsTransferRunning()
{
    EnterCriticalSection(&lock);
    int running = workerHolds;
    LeaveCriticalSection(&lock);
    return running;
}
