// The mounted file systems as /proc/self/mountinfo lists them: whether a drive's medium is
// mounted, and what the user must type to unmount it. Free of Linux headers.
#pragma once

#include <string>

class MountTable {
public:
    // When a file system of the device with these numbers ("major:minor") is mounted, by
    // mountinfo (a file in the format of /proc/self/mountinfo): where, and the command that
    // unmounts it as a shell takes it. Empty when none is.
    static std::string MountedMedium(const std::string& numbers, const char* mountinfo);
    // One line of mountinfo: true, with the mount point as the file system has it, when it
    // mounts a file system of the device with these numbers.
    static bool MountPointOf(const std::string& line, const std::string& numbers,
                             std::string& point);
};
