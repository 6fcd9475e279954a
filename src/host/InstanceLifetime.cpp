// The instance's lifetime: the one way to it, when it may be built and freed, and the
// worker's hold on it and on this library.
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
    : ownerThread(0), panelDepth(0), instance(nullptr), destroyed(0), workerFrees(0),
      workerLibrary(nullptr)
{
    InitializeCriticalSection(&lock);
}

InstanceLifetime::~InstanceLifetime()
{
    DeleteCriticalSection(&lock);
}

Downloader* InstanceLifetime::Instance()
{
    EnterCriticalSection(&lock);
    Downloader* downloader = instance;
    LeaveCriticalSection(&lock);
    return downloader;
}

Downloader* InstanceLifetime::HostInstance()
{
    EnterCriticalSection(&lock);
    Downloader* downloader = destroyed ? nullptr : instance;
    LeaveCriticalSection(&lock);
    return downloader;
}

int InstanceLifetime::IsOwnerThread()
{
    return HostInstance() == nullptr || GetCurrentThreadId() == ownerThread;
}

int InstanceLifetime::MayCreate()
{
    if (!IsOwnerThread() || panelDepth > 0)
        return 0;
    return !IsTransferRunning();
}

void InstanceLifetime::Adopt(Downloader* created)
{
    EnterCriticalSection(&lock);
    instance = created;
    destroyed = 0;
    workerFrees = 0;
    ownerThread = GetCurrentThreadId();
    LeaveCriticalSection(&lock);
}

void InstanceLifetime::Forget(Downloader* freed)
{
    EnterCriticalSection(&lock);
    if (instance == freed) {
        instance = nullptr;
        destroyed = 0;
        workerFrees = 0;
    }
    LeaveCriticalSection(&lock);
}

int InstanceLifetime::Destroy()
{
    if (HostInstance() == nullptr)
        return 0;
    // From here on the exports see no instance, even while its freeing waits.
    EnterCriticalSection(&lock);
    destroyed = 1;
    LeaveCriticalSection(&lock);
    if (panelDepth == 0)
        Release();
    return 1;
}

void InstanceLifetime::Release()
{
    EnterCriticalSection(&lock);
    Downloader* downloader = instance;
    int held = downloader->IsTransferRunning();
    if (held)
        workerFrees = 1;
    else
        instance = nullptr; // not to be reached while its destructor runs
    LeaveCriticalSection(&lock);
    if (!held) {
        delete downloader;
        return;
    }
    // The worker frees it once the drive has answered the write; until then only the
    // panel goes.
    downloader->CloseDialog();
}

void InstanceLifetime::EnterPanelCode()
{
    ++panelDepth;
}

void InstanceLifetime::LeavePanelCode()
{
    if (--panelDepth > 0)
        return;
    EnterCriticalSection(&lock);
    int waiting = instance != nullptr && destroyed && !workerFrees;
    LeaveCriticalSection(&lock);
    if (waiting)
        Release();
}

int InstanceLifetime::BeginTransfer(Downloader* downloader)
{
    HMODULE library = nullptr;
    if (!ReferenceOwnLibrary(&library))
        return 0;
    EnterCriticalSection(&lock);
    InterlockedExchange(&downloader->transferState, Downloader::kTransferRunning);
    workerLibrary = library;
    LeaveCriticalSection(&lock);
    return 1;
}

void InstanceLifetime::AbandonTransfer(Downloader* downloader)
{
    EnterCriticalSection(&lock);
    InterlockedExchange(&downloader->transferState, 0);
    HMODULE library = workerLibrary;
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
    int freeIt = workerFrees && instance == downloader;
    if (freeIt) {
        instance = nullptr;
        destroyed = 0;
        workerFrees = 0;
    }
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
    int running = instance != nullptr && instance->IsTransferRunning();
    LeaveCriticalSection(&lock);
    return running;
}
