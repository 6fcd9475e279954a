// What the download tests expect to see, written out from the drive's and the user's
// side: the commands of each step and the information list as readable text. The command
// bytes and the texts themselves are in DownloadTexts.h.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "DownloadRig.h"
#include "DownloadTexts.h"

namespace download {

const char kProtocolName[] = "VEXO Type 4.0";
const char kUnknownName[] = "Unkown";

enum RowState { kIdle = 0, kPassed = 1, kFailed = 2, kInProgress = 3 };

// The commands of one preparation of a drive that accepts the probe, with the unload
// sent unloads times.
inline void AddPreparation(std::vector<std::string>& stream, const char* address, int unloads = 1)
{
    stream.push_back(At(address, kProbe));
    stream.push_back(At(address, kPrevent));
    for (int i = 0; i < unloads; ++i)
        stream.push_back(At(address, kUnload));
}

// The write, then the load and the two TEST UNIT READY of a successful completion.
inline void AddWriteAndCompletion(std::vector<std::string>& stream, const char* address)
{
    stream.push_back(At(address, kWrite));
    stream.push_back(At(address, kLoad));
    stream.push_back(At(address, kTestUnitReady));
    stream.push_back(At(address, kTestUnitReady));
}

inline const char* StateName(int state)
{
    switch (state) {
    case kIdle:
        return "idle";
    case kPassed:
        return "passed";
    case kFailed:
        return "failed";
    case kInProgress:
        return "in progress";
    }
    return "?";
}

// The seven rows as "row: 'value' state" lines.
typedef std::vector<std::pair<std::string, int>> Rows;

inline std::string RowsText(const Rows& rows)
{
    std::string text;
    for (size_t row = 0; row < rows.size(); ++row)
        text += std::to_string(row) + ": '" + rows[row].first + "' " + StateName(rows[row].second) +
                "\n";
    return text;
}

inline std::string RowsText(const StatusSnapshot& snapshot)
{
    Rows rows;
    for (int row = 0; row < 7; ++row)
        rows.push_back({snapshot.values[row], snapshot.images[row]});
    return RowsText(rows);
}

inline std::string RowsText(const DownloadRig& rig)
{
    Rows rows;
    for (int row = 0; row < 7; ++row)
        rows.push_back({rig.panel.Cell(row, 1), rig.panel.RowImage(row)});
    return RowsText(rows);
}

inline std::vector<std::string> StatusTexts(const DownloadRig& rig)
{
    std::vector<std::string> texts;
    for (const StatusSnapshot& snapshot : rig.statusLog)
        texts.push_back(snapshot.text);
    return texts;
}

// Rows 0 to 6 idle and empty.
inline Rows IdleRows()
{
    return Rows(7, {"", kIdle});
}

} // namespace download
