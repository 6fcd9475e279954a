// What Linux said about one SG_IO call, in the layer's terms: the errno of a call that did
// not run, or the host, driver and SCSI status and the sense of one that did, turned into
// how the pass-through ended (the ASPI host status among it) and into words for the trace
// and the program's texts. Free of Linux headers: the values are the kernel's, written out.
#pragma once

#include <cstdint>
#include <string>

#include "PassThroughBlock.h"
#include "SgIoHeader.h"

class SgEnd {
public:
    // fixed-format sense: 18 bytes, the most the layer's caller reads.
    enum { kFixedSenseBytes = 18 };

    // callError: 0 when the ioctl returned, else its errno. header: as the kernel left it;
    // sense: the layer's sense buffer that header.sbp points to; data: its data buffer.
    SgEnd(const SgIoHeader& header, int callError, const uint8_t* data, const uint8_t* sense);

    // How the command ended, for PassThroughBlock::Complete. Sense in descriptor format
    // (response code 72h, 73h) comes as the fixed format (70h, 71h) that ASPI callers read.
    const PassThroughEnd& End() const { return end; }
    // What Linux said, when it was more than a target's answer: "errno 19 (No such
    // device)", "host DID_NO_CONNECT, driver 00", "descriptor sense 72h"; empty otherwise.
    const std::string& Word() const { return word; }
    // The drive is no longer there: the device was removed or cannot be reached.
    bool DriveGone() const { return driveGone; }

    // The kernel's name of a host status ("DID_RESET"), null for one it has none for.
    static const char* HostStatusName(uint16_t hostStatus);
    // Descriptor-format sense rewritten as fixed format into fixed (kFixedSenseBytes):
    // key, ASC and ASCQ, the information, command-specific and sense-key-specific
    // descriptors and the stream bits. False, with fixed untouched, for any other sense.
    static bool FixedFromDescriptor(const uint8_t* sense, uint32_t length, uint8_t* fixed);

private:
    void FromCallError(int callError);
    void FromHostStatus(uint16_t hostStatus, uint16_t driverStatus);
    void FromTarget(const SgIoHeader& header, const uint8_t* data, const uint8_t* sense);

    PassThroughEnd end;
    std::string word;
    bool driveGone;
    uint8_t fixedSense[kFixedSenseBytes];
};
