// The note that marks every file `zqxtool make` writes as a test file. It lies in the
// leading block (0x0000-0x07FF), which the downloader never sends to the drive and whose
// bytes only count in the panel's check sum; the note holds neither '_' nor 0x05, the
// first bytes of the protocol marker and of the identification record, so the scan for
// them reads the file as it would without the note.
#pragma once

#include <cstddef>

namespace TestFileNote {

const size_t kOffset = 0x0700;
// What `zqxtool info` looks for in the leading block.
const char kSignature[] = "ZQXTOOL TEST FILE - NOT FIRMWARE.";
const char kText[] = "ZQXTOOL TEST FILE - NOT FIRMWARE.\r\n"
                     "Made by zqxtool for trying the downloader on a simulated drive. Its code "
                     "is a test pattern: written into a real drive it leaves the drive "
                     "unusable. Never flash a real drive with this file.\r\n";
const size_t kLength = sizeof kText - 1;
const size_t kLeadingBlockEnd = 0x0800;
static_assert(kOffset + kLength <= kLeadingBlockEnd, "the note fits in the leading block");

} // namespace TestFileNote
