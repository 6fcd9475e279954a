// What an ASPI for Win32 layer shows of the machine: the support-info word, each host
// adapter, each device with its type and ASPI address, and the INQUIRY identity of the
// CD-ROM drives. The drive lister prints it; a user runs it before flashing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/AspiLayer.h"
#include "scsi/AspiTypes.h"

struct ListedAdapter {
    uint8_t id;
    uint8_t status;   // of SC_HA_INQUIRY
    char manager[17]; // HA_ManagerId, blanks trimmed
    char identifier[17];
    char letter;        // drive letter named in the identifier ("SPTI D:"), or 0
    uint8_t maxTargets; // targets looked at
    bool readOnly;      // our layer opened its drive for reading only (no administrator)
};

struct ListedDevice {
    uint8_t adapter;
    uint8_t target;
    uint8_t lun;
    uint8_t type;          // peripheral device type
    uint8_t inquiryStatus; // SRB_Status of its INQUIRY; SS_PENDING when it never ended
    char letter;           // from its adapter, or 0
    char vendor[9];
    char product[17];
    char revision[5];
};

class AspiLister {
public:
    enum {
        kInquiryTimeoutMs = 10000,
        kAbortWaitMs = 2000,
        kDefaultTargets = 8,
        kMaxTargets = 16, // bounds the time a list takes
    };

    // layer: a loaded WNASPI32.dll; its entry points are bound by ordinal.
    explicit AspiLister(HMODULE layer);

    bool IsBound() const { return layer.IsBound(); }
    // Asks the layer for everything it knows; fills the fields below.
    void Run();
    // CD-ROM drives that answered INQUIRY.
    int CdromCount() const;
    // The listing as the drive lister prints it.
    std::string Report() const;

    uint32_t inquiryTimeoutMs; // kInquiryTimeoutMs unless changed
    uint32_t supportInfo;
    std::vector<ListedAdapter> adapters;
    std::vector<ListedDevice> devices;

private:
    void ListAdapter(uint8_t id);
    // Runs an INQUIRY of 36 bytes; the final SRB_Status, SS_PENDING when it never ended.
    uint8_t Inquiry(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t* data);

    AspiLayer layer;
};
