// The user's part in the demo without a user, played on a timer of the program's thread,
// so that the program's own message loop runs it: it takes the proposed drive when the
// chooser shows (or cancels the chooser), waits for the panel, checks that the window shows all of
// it, switches the trace on from the menu (when asked), types the firmware file's name, presses
// "&Download", tries to close the window during the write,
// and closes it after the end. At each stage it prints the panel and saves its picture.
#pragma once

#include <windows.h>

#include <string>

class AutomaticRun {
public:
    enum Stage { kWaitPanel, kOpened, kTransfer, kEnd, kFinished, kDone };

    // What the run made of the program, once its window has closed.
    enum Verdict {
        kNotJudged,  // the program ended before its panel opened: nothing to judge
        kBehaved,    // it showed the whole panel, refused to close during the write, wrote
                     // the trace where it said, and after a success requested the shut-down
        kMisbehaved, // any of that failed, or a stage took too long
    };

    // menuTrace: switch the trace on with the program's Trace menu, and check that it
    // is written where the program said. cancel: cancel the drive chooser.
    AutomaticRun(const std::string& shots, const std::string& firmware, int menuTrace, int cancel);

    // Starts the timer. 1 on success.
    int Start();

    Verdict verdict;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    // One tick: the step of the current stage, given how long the stage has lasted.
    void Step();
    // The chooser answered, or the panel found.
    void WaitForPanel(DWORD elapsed);
    // Once the panel has settled: the trace, the file's name, the panel shown, the press.
    void PressDownload(DWORD elapsed);
    // The close tried once the bar shows 36%, or left out when no write runs.
    void CloseDuringTransfer(DWORD elapsed);
    // The box or the usable "&Download" that ends the download.
    void WaitForEnd(DWORD elapsed);
    int FindWindows();
    void TakeProposedDrive(HWND chooser);
    int CheckFit();
    int SwitchTraceOn();
    void TryToClose();
    void Finish();
    void Fail(const char* why);
    void Print(const char* stage);
    void Shoot(const char* stage);
    void Enter(Stage next);

    std::string shots;
    std::string firmware;
    int menuTrace;
    int cancel;
    std::string tracePath; // where the program said the trace goes
    long long traceSize;   // its size once switched on
    Stage stage;
    DWORD stageStart;
    int busy;
    int fits;
    int refused;        // the close during the write: 1 refused, 0 not, -1 not tried
    size_t boxesBefore; // boxes answered before the one that ends the download
    HWND host;
    HWND panel;
    HWND caption;
};
