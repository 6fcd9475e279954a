// Taking the lock file of a drive.
#include "DeviceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

std::string DeviceLock::Folder()
{
    struct stat folder;
    return stat("/run/lock", &folder) == 0 && S_ISDIR(folder.st_mode) ? "/run/lock" : "/run";
}

bool DeviceLock::Take(const std::string& folder, const std::string& deviceName)
{
    const std::string path = folder + "/rvxflash-" + deviceName + ".lock";
    // O_NOFOLLOW: a link planted at the name is not followed (the program runs as root).
    UniqueDescriptor lock(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!lock.IsOpen()) {
        reason = path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        if (error != EWOULDBLOCK) {
            reason = path + ": " + std::strerror(error);
            return false;
        }
        char holder[16] = "";
        ssize_t got = pread(lock.Get(), holder, sizeof holder - 1, 0);
        long process = got > 0 ? std::strtol(holder, nullptr, 10) : 0;
        reason = "another rvxflash" +
                 (process > 0 ? " (process " + std::to_string(process) + ")" : std::string()) +
                 " is using this drive";
        return false;
    }
    // The holder's number, for the next one's text; the lock holds without it.
    const std::string process = std::to_string(getpid()) + "\n";
    if (ftruncate(lock.Get(), 0) == 0) {
        ssize_t written = pwrite(lock.Get(), process.data(), process.size(), 0);
        (void)written;
    }
    file.Reset(lock.Release());
    return true;
}
