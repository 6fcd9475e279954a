// A rig for the download tests: the simulated machine, the panel opened through the
// exports inside a test host, and recorders for what a user and a drive would notice:
// every status text with the panel as it stood at that moment, the commands the drive
// received, how long the library waited for each, the worker threads it started, and
// the message boxes and shut-down requests (answered by stand-ins, so that no test
// shows a modal box or ends the Wine session).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FirmwareFileBuilder.h"
#include "ImportPatch.h"
#include "PanelHost.h"
#include "SimLink.h"
#include "SystemCallRecorder.h"

// The panel when the status text was about to change to text.
struct StatusSnapshot {
    std::string text;
    std::string values[7]; // value cells of rows 0 to 6
    int images[7];         // row states of rows 0 to 6
    size_t commands;       // SCSI commands the drives had received by then
    int picture;           // bitmap id of the state picture (0: none of the four)
    bool progressBar;
};

// One wait of the library for a command's completion.
struct CommandWait {
    DWORD timeoutMs;
    bool hostEnabled; // the host window when the wait began
    bool panelThread; // on the thread that runs the panel, or on another
    double waitedMs;  // how long the wait took
};

// One thread the library asked for.
struct ThreadStart {
    void* start;
    void* argument;
    SIZE_T stackSize;
    DWORD flags;
    bool defaultSecurity;
    bool idGiven;  // a place for the thread's identifier was passed
    HANDLE handle; // the rig's own handle on the thread; null when none was created
    DWORD id;      // its identifier, 0 when none was created
};

class DownloadRig {
public:
    DownloadRig();
    ~DownloadRig();
    DownloadRig(const DownloadRig&) = delete;
    DownloadRig& operator=(const DownloadRig&) = delete;

    // Sets the machine, builds the instance (drive discovery runs on this machine),
    // opens the panel for the drive at driveAddress and starts recording with an empty
    // command log. "" when all went well, else what did not.
    std::string Open(const char* scenario, DWORD driveAddress = 0x0100);
    // Another machine behind the drive table that discovery built: faults that are to
    // hit the download and not discovery. Empties the command log.
    std::string Reconfigure(const char* scenario);

    // Writes the file into the rig's scratch folder; its full path ("" on failure).
    std::string WriteFirmware(const FirmwareFileBuilder& file, const char* name = "FW.ZQX");
    // A path in the scratch folder where no file is.
    std::string MissingFile() const;
    void TypeFileName(const std::string& path);
    // Writes the file and types its path into the file-name box; the path, or empty when
    // it could not be written.
    std::string ChooseFirmware(const FirmwareFileBuilder& file, const char* name = "FW.ZQX");
    // Presses "&Download"; returns when the panel has handled the press.
    void Press();

    // Processes messages until done() holds or timeoutMs passes.
    bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Until the attempt has ended: every worker thread gone and the transfer's outcome
    // reported.
    bool WaitForEnd(DWORD timeoutMs = 8000);
    bool WorkersEnded() const;

    std::vector<SimRequestRecord> Commands();
    // "A:T" and the 12 command bytes in hex of every command, in order.
    std::vector<std::string> CommandTexts();
    std::vector<CommandWait> Waits() const;
    std::string Status() const;
    // The state picture as a bitmap id: 103, 104, 106 or 108; 0 for anything else.
    int Picture() const;
    // The progress bar inside the information list, or null.
    HWND ProgressBar() const;
    bool HostEnabled() const;

    static std::string CommandText(const SimRequestRecord& record);

    SimLink sim;
    PanelHost panel;
    std::unique_ptr<SystemCallRecorder> calls;
    std::vector<StatusSnapshot> statusLog;
    // Time spent taking the snapshots of statusLog, which the library's thread spends
    // inside its status text changes.
    double snapshotMs;
    std::vector<ThreadStart> threads;
    // Makes the library's thread creation fail, as when the system has no room left.
    // Apart from that the stand-in refuses, as Windows 9x does, a thread without a place
    // for its identifier when the system reports the 9x family.
    bool failThreadCreation;
    // Creates the library's threads suspended, as a system that has not yet scheduled
    // them, until ReleaseWorkers.
    bool holdWorkers;
    void ReleaseWorkers();

    // Called by the stand-ins and the status text's procedure.
    void RecordStatus(const char* text);
    // Records the start of a wait; its index, for RecordWaitEnd.
    size_t RecordWait(DWORD timeoutMs);
    void RecordWaitEnd(size_t index, double waitedMs);
    HANDLE RecordThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                        LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags, LPDWORD id);

private:
    void Shutdown();

    std::string folder;
    std::vector<std::string> files;
    std::vector<std::unique_ptr<ImportPatch>> patches;
    HWND statusWindow;
    DWORD panelThreadId;
    mutable CRITICAL_SECTION waitLock;
    std::vector<CommandWait> waits;
};
