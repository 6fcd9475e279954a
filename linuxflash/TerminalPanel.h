// The download panel in a terminal: the procedure's rows as lines, its status texts word
// for word, the warning box as a question, and during the write the panel's progress bar,
// which shows time, not data: live on a terminal, a line per step otherwise. It writes the
// trace lines that the library's panel writes for the same events. Free of Linux headers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "AnswerSource.h"
#include "StopRequests.h"
#include "download/DownloadPanel.h"

// What the panel shows: each row's value and state, the last status text, and what the
// question was answered (-1 when it was not asked).
struct PanelRows {
    std::string values[kInfoRowCount];
    RowState states[kInfoRowCount];
    std::string lastStatus;
    int warningAnswer;
};

class TerminalPanel : public DownloadPanel {
public:
    enum { kTickMs = 500, kTickStep = 1100, kTicksFull = 9000 };

    // out: where the lines go; live: out is a terminal, where the bar is drawn in place.
    // assumeYes answers the question without asking (--yes). Once a stop has ended the
    // attempt before the write, the panel stays as it was: what the procedure shows after
    // it comes of the commands the stop kept from the drive.
    TerminalPanel(std::FILE* out, bool live, const std::string& fileName, bool assumeYes,
                  AnswerSource& answers, const StopRequests& stop);

    void SetRowState(InfoRow row, RowState state) override;
    void SetRowValue(InfoRow row, const char* text) override;
    void SetStatus(const char* text) override;
    void ShowProgressBar(InfoRow row) override;
    void RemoveProgressBar() override;
    const char* FileName() override;
    int Warn(const char* text, const char* caption) override;

    // One tick of the transfer timer (every kTickMs while the write runs): the bar grows by
    // kTickStep of kTicksFull, as the panel's does.
    void AdvanceProgress();
    // The rows that changed since they were last shown, as the attempt left them.
    void ShowUnshownRows();

    const PanelRows& Rows() const { return rows; }

private:
    bool Frozen() const { return stop.EndedBeforeWrite(); }
    void ShowRow(int row);
    void DrawBar();

    std::FILE* out;
    bool live;
    std::string fileName;
    bool assumeYes;
    AnswerSource& answers;
    const StopRequests& stop;
    PanelRows rows;
    bool shown[kInfoRowCount];
    int barRow; // -1 without a bar
    uint32_t progressTicks;
    uint32_t tickCount;
    int lastPercent;
};
