// Judging the firmware file.
#include "FirmwareFileCheck.h"

bool FirmwareFileCheck::Check(const std::string& fileName, const FirmwareFileBytes& read,
                              std::FILE* human, bool describe)
{
    name = fileName;
    message.clear();
    loaded = report.Load(name, read);
    if (!loaded) {
        message = report.loaderMessage != nullptr ? report.loaderMessage : "no file named";
        return false;
    }
    FirmwareFileReport::Verdict verdict = report.Judge();
    bool refused =
        verdict == FirmwareFileReport::kOtherDrive || verdict == FirmwareFileReport::kNoMarker;
    if (describe || refused)
        report.Print(human);
    if (refused) {
        message = verdict == FirmwareFileReport::kOtherDrive ? "not firmware for the RVX-4417K"
                                                             : "no download protocol marker";
        return false;
    }
    // The downloader takes it as it takes firmware.
    if (verdict == FirmwareFileReport::kTestFile && !describe)
        std::fprintf(human,
                     "rvxflash: %s is a test file made by zqxtool, not firmware: flash it only "
                     "into a drive for testing.\n",
                     name.c_str());
    return true;
}

FileFacts FirmwareFileCheck::Facts() const
{
    FileFacts facts = {};
    facts.name = name;
    facts.loaded = loaded;
    if (!loaded) {
        facts.loaderMessage = message;
        return facts;
    }
    const ProductDescriptor& file = report.Descriptor();
    facts.model = report.ModelRowText();
    facts.protocol = ProtocolName(file.protocolType40);
    facts.checkSum = file.checkSum;
    facts.transferSum = report.TransferSum();
    facts.verdict = VerdictName(report.Judge());
    return facts;
}

const char* FirmwareFileCheck::VerdictName(FirmwareFileReport::Verdict verdict)
{
    switch (verdict) {
    case FirmwareFileReport::kFit:
        return "fit";
    case FirmwareFileReport::kTestFile:
        return "test-file";
    case FirmwareFileReport::kOtherDrive:
        return "other-drive";
    case FirmwareFileReport::kNoMarker:
        return "no-marker";
    }
    return "unknown";
}
