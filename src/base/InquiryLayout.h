// Where standard INQUIRY data holds the drive's names, which a firmware file's
// identification record repeats: fixed-width text, blank-padded, no terminator.
#pragma once

namespace InquiryLayout {
enum {
    kVendorOffset = 8,
    kVendorLength = 8,
    kProductOffset = 16,
    kProductLength = 16,
    kRevisionOffset = 32,
    kRevisionLength = 4,
    // Vendor and product together: the identification the downloader compares.
    kIdentificationLength = kVendorLength + kProductLength,
};
} // namespace InquiryLayout
