// A firmware file read once, at whatever path and however long its name: a regular file,
// or a pipe (a named one, /dev/stdin, a shell's <(...)) read to its end while a request to
// stop can end the wait. What is no file (a directory, a device, a terminal, a socket) is
// refused by what it is, before anything is read from it. The bytes read are the ones
// checked and the ones written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"

class FirmwareFileReader {
public:
    enum Result {
        kRead,    // Bytes() holds the file's first bytes
        kRefused, // Reason() says why: "is a directory", "cannot be opened: ..."
        kStopped, // a request to stop ended the wait for a pipe
    };
    // How long a pipe may keep the program waiting before the user is told why.
    enum { kNoteAfterMs = 1000 };

    FirmwareFileReader();

    // wake: readable once the program is asked to stop (-1: nothing ends the wait). note:
    // where the user is told that the program waits for a pipe.
    Result Read(const std::string& path, int wake, std::FILE* note);

    // The first bytes (at most the image's 65,536) and the file's size.
    FirmwareFileBytes Bytes() const;
    const std::string& Reason() const { return reason; }

private:
    bool ReadFile(int descriptor);
    Result ReadPipe(int descriptor, const std::string& path, int wake, std::FILE* note);

    std::vector<uint8_t> bytes;
    long size;
    std::string reason;
};
