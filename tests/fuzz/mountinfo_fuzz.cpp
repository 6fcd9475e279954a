// Lines of /proc/self/mountinfo as rvxflash reads them for a drive's medium: the first
// line names the device's numbers, each further line is one mount. Decoding the escapes
// never makes a mount point longer than the line that holds it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MountTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t end = text.find('\n');
    std::string numbers = text.substr(0, end);
    while (end != std::string::npos) {
        size_t next = text.find('\n', end + 1);
        std::string line = text.substr(end + 1, next == std::string::npos ? next : next - end - 1);
        std::string point;
        if (MountTable::MountPointOf(line, numbers, point) && point.size() > line.size())
            std::abort();
        end = next;
    }
    return 0;
}
