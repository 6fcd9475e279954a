#include "DownloadRig.h"

#include <commctrl.h>

#include <cstdio>

#include "scsi/AspiTypes.h"

namespace {

DownloadRig* activeRig;
WNDPROC originalStatusProc;

const char kDownloading[] = "Downloading... (Do NOT turn off!)";

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && activeRig != nullptr)
        activeRig->RecordStatus(reinterpret_cast<const char*>(lParam));
    return CallWindowProcA(originalStatusProc, window, message, wParam, lParam);
}

DWORD WINAPI StandInWaitForSingleObject(HANDLE object, DWORD timeoutMs)
{
    DownloadRig* rig = activeRig;
    if (rig == nullptr)
        return WaitForSingleObject(object, timeoutMs);
    size_t index = rig->RecordWait(timeoutMs);
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    DWORD result = WaitForSingleObject(object, timeoutMs);
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    rig->RecordWaitEnd(index, 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
    return result;
}

HANDLE WINAPI StandInCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                                  LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags,
                                  LPDWORD id)
{
    if (activeRig == nullptr)
        return CreateThread(security, stackSize, start, argument, flags, id);
    return activeRig->RecordThread(security, stackSize, start, argument, flags, id);
}

} // namespace

DownloadRig::DownloadRig()
    : snapshotMs(0), failThreadCreation(false), holdWorkers(false), statusWindow(nullptr),
      panelThreadId(GetCurrentThreadId())
{
    InitializeCriticalSection(&waitLock);
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    char name[64];
    std::snprintf(name, sizeof name, "kdll-download-%lu-%lu", GetCurrentProcessId(),
                  GetTickCount());
    folder = std::string(temp) + name;
    CreateDirectoryA(folder.c_str(), nullptr);
}

DownloadRig::~DownloadRig()
{
    Shutdown();
    for (ThreadStart& thread : threads) {
        if (thread.handle != nullptr)
            CloseHandle(thread.handle);
    }
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
    DeleteCriticalSection(&waitLock);
}

void DownloadRig::Shutdown()
{
    // A test that stopped early may leave the worker waiting for a delayed write: a new
    // machine completes every pending request, and the worker must be gone before the
    // library is unloaded under it.
    ReleaseWorkers();
    if (!WorkersEnded()) {
        sim.Configure("adapters 0\n");
        WaitUntil([this] { return WorkersEnded(); }, 10000);
    }
    // With the panel closed no timer can run the completion any more; only then may the
    // stand-ins go.
    if (panel.kdll.IsBound()) {
        panel.kdll.close();
        panel.kdll.destroy();
    }
    PanelHost::Pump(0);
    if (statusWindow != nullptr && IsWindow(statusWindow))
        SetWindowLongPtrA(statusWindow, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(originalStatusProc));
    statusWindow = nullptr;
    if (activeRig == this)
        activeRig = nullptr;
    patches.clear();
    calls.reset();
}

std::string DownloadRig::Open(const char* scenario, DWORD driveAddress)
{
    if (!sim.IsBound())
        return "the simulated WNASPI32.dll is not loaded";
    if (!panel.kdll.IsBound())
        return "kdll.dll or one of its exports is missing";
    if (!sim.Configure(scenario))
        return std::string("scenario: ") + sim.LastError();
    if (panel.Create(driveAddress) == 0)
        return "KDLL_Create failed";
    // KDLL_Open answers what showing the panel reports: 0 for a panel that was hidden.
    panel.Open(driveAddress);
    if (panel.Dialog() == nullptr)
        return "KDLL_Open showed no panel";

    HMODULE module = panel.kdll.Module();
    calls.reset(new SystemCallRecorder(module));
    if (!calls->IsActive())
        return "the message box and shut-down stand-ins are not in place";
    activeRig = this;
    patches.emplace_back(new ImportPatch(module, "kernel32.dll", "WaitForSingleObject",
                                         reinterpret_cast<void*>(&StandInWaitForSingleObject)));
    patches.emplace_back(new ImportPatch(module, "kernel32.dll", "CreateThread",
                                         reinterpret_cast<void*>(&StandInCreateThread)));
    for (const auto& patch : patches) {
        if (!patch->IsActive())
            return "kdll.dll does not import WaitForSingleObject and CreateThread";
    }

    statusWindow = panel.Item(1001);
    originalStatusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(statusWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StatusProc)));
    if (originalStatusProc == nullptr)
        return "the status text cannot be watched";
    sim.ClearLog();
    return "";
}

std::string DownloadRig::Reconfigure(const char* scenario)
{
    if (!sim.Configure(scenario))
        return std::string("scenario: ") + sim.LastError();
    return "";
}

std::string DownloadRig::WriteFirmware(const FirmwareFileBuilder& file, const char* name)
{
    std::string path = file.WriteTo(folder, name);
    if (!path.empty())
        files.push_back(path);
    return path;
}

std::string DownloadRig::ChooseFirmware(const FirmwareFileBuilder& file, const char* name)
{
    std::string path = WriteFirmware(file, name);
    if (!path.empty())
        TypeFileName(path);
    return path;
}

std::string DownloadRig::MissingFile() const
{
    return folder + "\\MISSING.ZQX";
}

void DownloadRig::TypeFileName(const std::string& path)
{
    panel.SetFileName(path.c_str());
}

void DownloadRig::Press()
{
    panel.Click(1);
}

bool DownloadRig::WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    return PanelHost::PumpUntil(done, timeoutMs);
}

bool DownloadRig::WaitForEnd(DWORD timeoutMs)
{
    return WaitUntil([this] { return WorkersEnded() && Status() != kDownloading; }, timeoutMs);
}

void DownloadRig::ReleaseWorkers()
{
    if (!holdWorkers)
        return;
    holdWorkers = false;
    for (const ThreadStart& thread : threads) {
        if (thread.handle != nullptr)
            ResumeThread(thread.handle);
    }
}

bool DownloadRig::WorkersEnded() const
{
    for (const ThreadStart& thread : threads) {
        if (thread.handle != nullptr && WaitForSingleObject(thread.handle, 0) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

std::vector<SimRequestRecord> DownloadRig::Commands()
{
    return sim.ScsiRequests();
}

std::string DownloadRig::CommandText(const SimRequestRecord& record)
{
    char text[64];
    int length = std::snprintf(text, sizeof text, "%u:%u", record.adapter, record.target);
    for (int i = 0; i < 12; ++i)
        length += std::snprintf(text + length, sizeof text - length, " %02X", record.cdb[i]);
    return text;
}

std::vector<std::string> DownloadRig::CommandTexts()
{
    std::vector<std::string> texts;
    for (const SimRequestRecord& record : Commands())
        texts.push_back(CommandText(record));
    return texts;
}

std::vector<CommandWait> DownloadRig::Waits() const
{
    EnterCriticalSection(&waitLock);
    std::vector<CommandWait> copy = waits;
    LeaveCriticalSection(&waitLock);
    return copy;
}

std::string DownloadRig::Status() const
{
    return panel.Text(1001);
}

int DownloadRig::Picture() const
{
    return panel.StatePicture();
}

HWND DownloadRig::ProgressBar() const
{
    return FindWindowExA(panel.Item(1006), nullptr, PROGRESS_CLASSA, nullptr);
}

bool DownloadRig::HostEnabled() const
{
    return IsWindowEnabled(panel.host) != FALSE;
}

void DownloadRig::RecordStatus(const char* text)
{
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    StatusSnapshot snapshot;
    snapshot.text = text != nullptr ? text : "";
    for (int row = 0; row < 7; ++row) {
        snapshot.values[row] = panel.Cell(row, 1);
        snapshot.images[row] = panel.RowImage(row);
    }
    snapshot.commands = sim.ScsiRequests().size();
    snapshot.picture = Picture();
    snapshot.progressBar = ProgressBar() != nullptr;
    statusLog.push_back(snapshot);
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    snapshotMs += 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

size_t DownloadRig::RecordWait(DWORD timeoutMs)
{
    CommandWait wait;
    wait.timeoutMs = timeoutMs;
    wait.hostEnabled = IsWindowEnabled(panel.host) != FALSE;
    wait.panelThread = GetCurrentThreadId() == panelThreadId;
    wait.waitedMs = 0;
    EnterCriticalSection(&waitLock);
    waits.push_back(wait);
    size_t index = waits.size() - 1;
    LeaveCriticalSection(&waitLock);
    return index;
}

void DownloadRig::RecordWaitEnd(size_t index, double waitedMs)
{
    EnterCriticalSection(&waitLock);
    if (index < waits.size())
        waits[index].waitedMs = waitedMs;
    LeaveCriticalSection(&waitLock);
}

HANDLE DownloadRig::RecordThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                                 LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags,
                                 LPDWORD id)
{
    ThreadStart record;
    record.start = reinterpret_cast<void*>(start);
    record.argument = argument;
    record.stackSize = stackSize;
    record.flags = flags;
    record.defaultSecurity = security == nullptr;
    record.idGiven = id != nullptr;
    record.handle = nullptr;
    record.id = 0;
    if (failThreadCreation) {
        threads.push_back(record);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // What Windows 9x does, and Wine in its place does not.
    if (id == nullptr && (GetVersion() & 0x80000000) != 0) {
        threads.push_back(record);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE thread = CreateThread(security, stackSize, start, argument,
                                 holdWorkers ? flags | CREATE_SUSPENDED : flags, id);
    if (thread != nullptr)
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &record.handle, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    if (thread != nullptr && id != nullptr)
        record.id = *id;
    threads.push_back(record);
    return thread;
}
