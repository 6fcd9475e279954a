// What rvxflash finds before it opens the panel: the WNASPI32.dll that the downloader
// will load, whether it is Wine's built-in stub, and the CD-ROM drives that answered,
// each with the address that KdllParams.driveAddress takes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SurveyedDrive {
    DWORD address;    // byte 0 adapter, byte 1 target: the downloader's drive address
    std::string name; // "0:1:0  D:  NEMBRIKA CD-ROM RVX-4417K 1.00" (the letter if known)
    int isRvx;        // the drive model that the downloader flashes
};

class DriveSurvey {
public:
    enum Outcome { kNotRun, kNoLayer, kWineStub, kNotAspi, kNoDrive, kDrives };

    DriveSurvey();
    ~DriveSurvey();
    DriveSurvey(const DriveSurvey&) = delete;
    DriveSurvey& operator=(const DriveSurvey&) = delete;

    // Loads WNASPI32.dll as the downloader does and lists its CD-ROM drives.
    void Run();
    // The plain words for an outcome other than kDrives, for the user.
    std::string Problem() const;
    // The drive to propose: the first RVX-4417K, else the first drive.
    size_t Proposed() const;
    // The listed drive at the address in text ("A:T:L" as aspiinfo prints it, "A:T",
    // or the number 0xTTAA). 1 with *index set; 0 with errorText saying why.
    int Find(const char* text, size_t* index);

    Outcome outcome;
    std::string layerPath;
    std::vector<SurveyedDrive> drives;
    std::string errorText;

private:
    HMODULE layer;
    unsigned adapterCount; // host adapters the layer reports
    int readOnly;          // our layer opened a drive for reading only (no administrator)
    int layerBusy;         // a request the layer never gave back: it keeps the layer loaded
};
