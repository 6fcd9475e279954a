// The command ring that the Linux SCSI target's user-space backend (target_core_user)
// shares through a UIO device: the commands it hands over, the task management
// notifications, and the completions written back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One command as taken from the ring; the data buffers stay in the shared area until
// the command is completed.
struct TcmuCommand {
    uint16_t id;
    uint8_t cdb[16];
    uint8_t cdbLength;
    uint32_t transferLength;
    std::vector<std::pair<uint64_t, uint32_t>> buffers; // offset in the shared area, length
};

class TcmuRing {
public:
    TcmuRing();
    ~TcmuRing();
    TcmuRing(const TcmuRing&) = delete;
    TcmuRing& operator=(const TcmuRing&) = delete;

    // Opens /dev/uioN and maps its area. False with the reason in error.
    bool Open(const char* uioPath);
    int Fd() const { return fd; }

    // Clears the device's interrupt count after poll() said it is readable; false when the
    // device is gone (the target's configuration removed it).
    bool Acknowledge();
    // Takes every entry the kernel has added since the last call: commands into
    // commands, the command ids named by task management (aborts, resets) into aborted.
    void Take(std::vector<TcmuCommand>& commands, std::vector<uint16_t>& aborted);
    // Copies the command's data-out bytes, or writes data in (at most its transfer length).
    void ReadData(const TcmuCommand& command, std::vector<uint8_t>& bytes) const;
    void WriteData(const TcmuCommand& command, const uint8_t* bytes, uint32_t length);
    // Completes a command: SCSI status, sense (0 to 96 bytes) and, for data in, how many
    // bytes it holds (a shorter transfer is reported as residual).
    void Complete(uint16_t id, uint8_t status, const uint8_t* sense, uint32_t senseLength,
                  uint32_t readLength);
    // Tells the kernel that completions are waiting.
    void Kick();

    std::string error;

private:
    uint8_t* Entry(uint32_t offset) const;

    int fd;
    uint8_t* area;
    size_t areaSize;
    uint32_t taken; // ring offset up to which entries were taken
};
