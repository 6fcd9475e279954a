// Reading fixed-format sense data, and its key and ASC/ASCQ in words.
#include "scsi/SenseData.h"

#include "base/FormatText.h"

#include <cstdio>

namespace {

const char* const kKeyNames[16] = {
    "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
    "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
    "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
    "KEY 0C",         "VOLUME OVERFLOW", "MISCOMPARE",     "KEY 0F",
};

struct AdditionalSense {
    uint8_t asc;
    uint8_t ascq;
    const char* text;
};

// The pairs that the RVX-4417K, CD-ROM drives in general and ASPI layers report around a
// download: preparation, unload and load, the write and the check after it.
const AdditionalSense kAdditionalSense[] = {
    {0x00, 0x00, "no additional sense information"},
    {0x04, 0x00, "not ready, cause not reportable"},
    {0x04, 0x01, "becoming ready"},
    {0x04, 0x02, "not ready, initializing command required"},
    {0x0C, 0x00, "write error"},
    {0x11, 0x00, "unrecovered read error"},
    {0x1A, 0x00, "parameter list length error"},
    {0x20, 0x00, "invalid command operation code"},
    {0x24, 0x00, "invalid field in CDB"},
    {0x25, 0x00, "logical unit not supported"},
    {0x26, 0x00, "invalid field in parameter list"},
    {0x28, 0x00, "medium may have changed"},
    {0x29, 0x00, "power on, reset or bus device reset occurred"},
    {0x2C, 0x00, "command sequence error"},
    {0x3A, 0x00, "medium not present"},
    {0x3A, 0x01, "medium not present, tray closed"},
    {0x3A, 0x02, "medium not present, tray open"},
    {0x3E, 0x00, "logical unit has not self-configured yet"},
    {0x44, 0x00, "internal target failure"},
    {0x47, 0x00, "SCSI parity error"},
    {0x53, 0x02, "medium removal prevented"},
};

} // namespace

SenseData SenseData::FromArea(const uint8_t* area)
{
    SenseData sense;
    sense.responseCode = area[0];
    sense.key = area[2] & 0x0F;
    sense.asc = area[12];
    sense.ascq = area[13];
    return sense;
}

const char* SenseData::KeyName(uint8_t key)
{
    return kKeyNames[key & 0x0F];
}

const char* SenseData::AdditionalText(uint8_t asc, uint8_t ascq)
{
    for (const AdditionalSense& entry : kAdditionalSense) {
        if (entry.asc == asc && entry.ascq == ascq)
            return entry.text;
    }
    return nullptr;
}

void SenseData::Describe(uint8_t key, uint8_t asc, uint8_t ascq, char* out, int size)
{
    if (size <= 0)
        return;
    const char* text = AdditionalText(asc, ascq);
    FormatText(out, static_cast<size_t>(size), "%X/%02X/%02X %s%s%s",
               static_cast<unsigned>(key & 0x0F), static_cast<unsigned>(asc),
               static_cast<unsigned>(ascq), KeyName(key), text ? ": " : "", text ? text : "");
}
