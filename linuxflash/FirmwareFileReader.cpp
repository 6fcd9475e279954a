// Reading the firmware file once.
#include "FirmwareFileReader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "UniqueDescriptor.h"

namespace {

// True when the character device is the terminal the program reads (/dev/stdin, /dev/tty
// on a terminal).
bool IsOwnTerminal(const struct stat& node)
{
    struct stat input;
    return isatty(STDIN_FILENO) && fstat(STDIN_FILENO, &input) == 0 &&
           input.st_rdev == node.st_rdev;
}

// What a file is when it is none the downloader can read; null for a regular file or a
// pipe.
const char* NotAFile(const struct stat& node)
{
    mode_t mode = node.st_mode;
    if (S_ISDIR(mode))
        return "is a directory";
    if (S_ISBLK(mode))
        return "is a block device";
    if (S_ISCHR(mode))
        return IsOwnTerminal(node) ? "is a terminal" : "is a character device";
    if (S_ISSOCK(mode))
        return "is a socket";
    if (!S_ISREG(mode) && !S_ISFIFO(mode))
        return "is no file";
    return nullptr;
}

std::string SystemError(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

FirmwareFileReader::FirmwareFileReader() : size(-1) {}

FirmwareFileBytes FirmwareFileReader::Bytes() const
{
    return FirmwareFileBytes{bytes.data(), bytes.size(), size};
}

FirmwareFileReader::Result FirmwareFileReader::Read(const std::string& path, int wake,
                                                    std::FILE* note)
{
    bytes.clear();
    size = -1;
    struct stat node;
    if (stat(path.c_str(), &node) != 0) {
        reason = SystemError("cannot be opened", errno);
        return kRefused;
    }
    // Opening a device may do something to it (a tape rewinds): refused unopened.
    const char* what = NotAFile(node);
    if (what != nullptr) {
        reason = what;
        return kRefused;
    }
    // O_NONBLOCK: a named pipe opens at once, whether or not anyone writes it; the wait
    // for its bytes is the program's own, which a stop ends. O_NOCTTY: a terminal named
    // as the file does not become the program's.
    UniqueDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.IsOpen()) {
        reason = SystemError("cannot be opened", errno);
        return kRefused;
    }
    // The file opened is judged, whatever the path named a moment before.
    if (fstat(file.Get(), &node) != 0) {
        reason = SystemError("cannot be read", errno);
        return kRefused;
    }
    what = NotAFile(node);
    if (what != nullptr) {
        reason = what;
        return kRefused;
    }
    bytes.resize(FirmwareImage::kFileBytes);
    if (S_ISFIFO(node.st_mode))
        return ReadPipe(file.Get(), path, wake, note);
    if (!ReadFile(file.Get()))
        return kRefused;
    size = static_cast<long>(node.st_size);
    return kRead;
}

bool FirmwareFileReader::ReadFile(int descriptor)
{
    size_t count = 0;
    while (count < bytes.size()) {
        ssize_t got = read(descriptor, bytes.data() + count, bytes.size() - count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            reason = SystemError("cannot be read", errno);
            return false;
        }
        if (got == 0)
            break;
        count += static_cast<size_t>(got);
    }
    bytes.resize(count);
    return true;
}

// A pipe opened without waiting reads as ended while no writer has come yet; poll tells
// when there are bytes, or that the writer has come and gone (POLLHUP). One byte past the
// image tells whether the pipe holds more than the downloader reads.
FirmwareFileReader::Result FirmwareFileReader::ReadPipe(int descriptor, const std::string& path,
                                                        int wake, std::FILE* note)
{
    bytes.resize(FirmwareImage::kFileBytes + 1);
    size_t count = 0;
    bool told = false;
    bool ended = false;
    while (count < bytes.size() && !ended) {
        struct pollfd waits[2] = {{descriptor, POLLIN, 0}, {wake, POLLIN, 0}};
        int ready = poll(waits, wake >= 0 ? 2 : 1, told ? -1 : static_cast<int>(kNoteAfterMs));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            reason = SystemError("cannot be read", errno);
            return kRefused;
        }
        if (wake >= 0 && (waits[1].revents & POLLIN))
            return kStopped;
        if (ready == 0) {
            if (note != nullptr)
                std::fprintf(note,
                             "rvxflash: waiting for %s, a pipe, to be written; Ctrl-C stops.\n",
                             path.c_str());
            told = true;
            continue;
        }
        ssize_t got = read(descriptor, bytes.data() + count, bytes.size() - count);
        if (got > 0)
            count += static_cast<size_t>(got);
        else if (got == 0)
            ended = true;
        else if (errno != EAGAIN && errno != EINTR) {
            reason = SystemError("cannot be read", errno);
            return kRefused;
        }
    }
    // What follows in a longer pipe is not read: its size is unknown then.
    size = ended ? static_cast<long>(count) : -1;
    const size_t image = FirmwareImage::kFileBytes;
    bytes.resize(count < image ? count : image);
    return kRead;
}
