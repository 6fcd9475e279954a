// The terminal's download panel.
#include "TerminalPanel.h"

#include <cstring>

#include "download/PanelTrace.h"

namespace {

const int kKeyWidth = 18;
const int kBarWidth = 30;

} // namespace

TerminalPanel::TerminalPanel(std::FILE* out, bool live, const std::string& fileName, bool assumeYes,
                             AnswerSource& answers, const StopRequests& stop)
    : out(out), live(live), fileName(fileName), assumeYes(assumeYes), answers(answers), stop(stop),
      rows(), shown{}, barRow(-1), progressTicks(0), tickCount(0), lastPercent(-1)
{
    rows.warningAnswer = -1;
    for (int row = 0; row < kInfoRowCount; ++row) {
        rows.states[row] = kRowIdle;
        shown[row] = true; // idle and empty, as the panel starts
    }
}

void TerminalPanel::SetRowState(InfoRow row, RowState state)
{
    PanelTrace::State(row, state);
    if (Frozen())
        return;
    rows.states[row] = state;
    shown[row] = false;
    if (state == kRowPassed || state == kRowFailed)
        ShowRow(row);
}

void TerminalPanel::SetRowValue(InfoRow row, const char* text)
{
    PanelTrace::Value(row, text);
    if (Frozen())
        return;
    rows.values[row] = text;
    shown[row] = false;
}

void TerminalPanel::SetStatus(const char* text)
{
    PanelTrace::Status(text);
    if (Frozen())
        return;
    rows.lastStatus = text;
    std::fprintf(out, "%s\n", text);
    std::fflush(out);
}

void TerminalPanel::ShowProgressBar(InfoRow row)
{
    if (Frozen())
        return;
    barRow = row;
    progressTicks = 0;
    tickCount = 0;
    // A line per step: the first comes with the first tick.
    lastPercent = 0;
    if (live)
        DrawBar();
}

void TerminalPanel::RemoveProgressBar()
{
    if (barRow < 0)
        return;
    if (live)
        std::fprintf(out, "\n");
    barRow = -1;
    std::fflush(out);
}

const char* TerminalPanel::FileName()
{
    return fileName.c_str();
}

int TerminalPanel::Warn(const char* text, const char* caption)
{
    std::fprintf(out, "%s: %s\n", caption, text);
    if (assumeYes) {
        std::fprintf(out, "OK? [Enter] yes (--yes)\n");
        rows.warningAnswer = 1;
    } else {
        std::fprintf(out, "OK? [Enter] ");
        std::fflush(out);
        std::string line;
        rows.warningAnswer = answers.Answer(line) ? 1 : 0;
        if (rows.warningAnswer == 0)
            std::fprintf(out, "(no answer)\n");
    }
    std::fflush(out);
    return rows.warningAnswer;
}

void TerminalPanel::AdvanceProgress()
{
    if (barRow < 0)
        return;
    progressTicks += kTickStep;
    ++tickCount;
    DrawBar();
}

void TerminalPanel::ShowUnshownRows()
{
    for (int row = 0; row < kInfoRowCount; ++row) {
        // The bar stands for its row while it is shown.
        if (!shown[row] && row != barRow &&
            (rows.states[row] != kRowIdle || !rows.values[row].empty()))
            ShowRow(row);
    }
}

void TerminalPanel::ShowRow(int row)
{
    std::fprintf(out, "  %-*s %s  [%s]\n", kKeyWidth, kInfoRowKeys[row], rows.values[row].c_str(),
                 kRowStateNames[rows.states[row] & 3]);
    std::fflush(out);
    shown[row] = true;
}

// The panel's bar runs from 0 to 100 and is full from the ninth tick on, whatever the
// write still takes; the seconds go on.
void TerminalPanel::DrawBar()
{
    uint32_t position = progressTicks * 100 / kTicksFull;
    int percent = static_cast<int>(position > 100 ? 100 : position);
    unsigned long tenths = static_cast<unsigned long>(tickCount) * kTickMs / 100;
    if (live) {
        char bar[kBarWidth + 1];
        int filled = percent * kBarWidth / 100;
        for (int i = 0; i < kBarWidth; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[kBarWidth] = '\0';
        std::fprintf(out, "\r  %-*s [%s] %3d%%  %lu.%lu s", kKeyWidth, kInfoRowKeys[barRow], bar,
                     percent, tenths / 10, tenths % 10);
        std::fflush(out);
        return;
    }
    if (percent == lastPercent)
        return;
    std::fprintf(out, "  %-*s %3d%%  %lu.%lu s\n", kKeyWidth, kInfoRowKeys[barRow], percent,
                 tenths / 10, tenths % 10);
    std::fflush(out);
    lastPercent = percent;
}
