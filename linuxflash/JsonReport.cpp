// The JSON document, written with nlohmann-json.
#include "JsonReport.h"

#include <cstring>
#include <nlohmann/json.hpp>

namespace {

nlohmann::json Drives(const std::vector<ListedDrive>& drives)
{
    nlohmann::json list = nlohmann::json::array();
    for (const ListedDrive& drive : drives) {
        const CdromDevice& device = drive.device;
        list.push_back({
            {"device", device.Path()},
            {"generic", device.GenericPath()},
            {"address", device.address},
            {"vendor", CdromDevices::Trimmed(device.vendor)},
            {"product", CdromDevices::Trimmed(device.product)},
            {"revision", CdromDevices::Trimmed(device.revision)},
            {"rvx4417k", drive.isProduct},
            {"downloadProtocol", drive.protocol},
        });
    }
    return list;
}

nlohmann::json Firmware(const FileFacts& file)
{
    nlohmann::json facts = {{"loaded", file.loaded}};
    if (!file.loaded) {
        facts["loaderMessage"] = file.loaderMessage;
        return facts;
    }
    char sums[2][8];
    std::snprintf(sums[0], sizeof sums[0], "%04X", file.checkSum);
    std::snprintf(sums[1], sizeof sums[1], "%04X", file.transferSum);
    facts["model"] = file.model;
    facts["protocol"] = file.protocol;
    facts["checkSum"] = sums[0];
    facts["transferSum"] = sums[1];
    facts["verdict"] = file.verdict;
    return facts;
}

nlohmann::json Rows(const PanelRows& shown)
{
    nlohmann::json rows = nlohmann::json::array();
    for (int row = 0; row < kInfoRowCount; ++row) {
        rows.push_back({{"key", kInfoRowKeys[row]},
                        {"value", shown.values[row]},
                        {"state", kRowStateNames[shown.states[row] & 3]}});
    }
    return rows;
}

} // namespace

namespace JsonReport {

const char* ResultName(const char* command, ExitCode code)
{
    switch (code) {
    case kExitFlashed:
        return command != nullptr && std::strcmp(command, "flash") == 0 ? "flashed" : "ok";
    case kExitNotWritten:
        return "not-written";
    case kExitRestartNeeded:
        return "restart-needed";
    case kExitNoDrive:
        return "no-drive";
    case kExitBadArguments:
        return "bad-arguments";
    case kExitCancelled:
        return "cancelled";
    }
    return "unknown";
}

void Print(std::FILE* out, const RunReport& report)
{
    nlohmann::json document = {
        {"command", report.command != nullptr ? nlohmann::json(report.command) : nullptr},
        {"result", ResultName(report.command, report.code)},
        {"exitCode", static_cast<int>(report.code)},
    };
    if (!report.message.empty())
        document["message"] = report.message;
    if (report.signal != nullptr)
        document["signal"] = report.signal;
    const std::string command = report.command != nullptr ? report.command : "";
    if (command == "list")
        document["drives"] = Drives(report.drives);
    if (command == "info" || command == "flash")
        document["file"] = report.file.name;
    if (report.fileRead)
        document["firmware"] = Firmware(report.file);
    if (command == "flash") {
        document["device"] = report.device;
        document["writeBegan"] = report.writeBegan;
        document["restartRequested"] = report.restartRequested;
        document["driveGone"] = report.driveGone;
        if (report.procedureRan) {
            document["rows"] = Rows(report.rows);
            document["status"] = report.rows.lastStatus;
            document["warningAnswer"] = report.rows.warningAnswer;
        }
    }
    // Texts from drives and files need not be UTF-8: what is not comes out replaced.
    std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
}

} // namespace JsonReport
