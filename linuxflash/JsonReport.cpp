// The JSON documents, written with nlohmann-json.
#include "JsonReport.h"

#include <nlohmann/json.hpp>

namespace {

// Texts from drives and files need not be UTF-8: what is not comes out replaced.
void Print(std::FILE* out, const nlohmann::json& document)
{
    std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
}

} // namespace

namespace JsonReport {

const char* ResultName(ExitCode code)
{
    switch (code) {
    case kExitFlashed:
        return "flashed";
    case kExitNotWritten:
        return "not-written";
    case kExitBadArguments:
        return "bad-arguments";
    case kExitRestartNeeded:
        return "restart-needed";
    case kExitNoDrive:
        return "no-drive";
    }
    return "unknown";
}

void PrintList(std::FILE* out, const std::vector<ListedDrive>& drives)
{
    nlohmann::json list = nlohmann::json::array();
    for (const ListedDrive& drive : drives) {
        const CdromDevice& device = *drive.device;
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
    Print(out, {{"drives", list}});
}

void PrintFlash(std::FILE* out, const FlashResult& result)
{
    nlohmann::json document = {
        {"result", ResultName(result.code)},
        {"exitCode", static_cast<int>(result.code)},
        {"file", result.file},
        {"device", result.device},
        {"restartRequested", result.restartRequested},
    };
    if (!result.message.empty())
        document["message"] = result.message;
    if (result.procedureRan) {
        const PanelRows& shown = result.rows;
        nlohmann::json rows = nlohmann::json::array();
        for (int row = 0; row < kInfoRowCount; ++row) {
            rows.push_back({{"key", kInfoRowKeys[row]},
                            {"value", shown.values[row]},
                            {"state", kRowStateNames[shown.states[row] & 3]}});
        }
        document["rows"] = rows;
        document["status"] = shown.lastStatus;
        document["warningAnswer"] = shown.warningAnswer;
    }
    Print(out, document);
}

} // namespace JsonReport
