// target_core_user's shared ring, read and written as <linux/target_core_user.h> lays it out.
#include "TcmuRing.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

// The header is written for C: its <linux/uio.h> repeats the C library's struct iovec
// (kept out by its guard), and its inline helpers convert integers to enums, which C++
// refuses without -fpermissive (see CMakeLists.txt).
#define __LINUX_UIO_H
#include <linux/target_core_user.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

uint32_t EntryLength(const tcmu_cmd_entry* entry)
{
    return tcmu_hdr_get_len(entry->hdr.len_op);
}

int EntryOp(const tcmu_cmd_entry* entry)
{
    return tcmu_hdr_get_op(entry->hdr.len_op);
}

} // namespace

TcmuRing::TcmuRing() : fd(-1), area(nullptr), areaSize(0), taken(0) {}

TcmuRing::~TcmuRing()
{
    if (area != nullptr)
        munmap(area, areaSize);
    if (fd >= 0)
        close(fd);
}

bool TcmuRing::Open(const char* uioPath)
{
    fd = open(uioPath, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot open ") + uioPath + ": " + std::strerror(errno);
        return false;
    }
    // The size of the one mapping is in sysfs, under the device's name.
    const char* name = std::strrchr(uioPath, '/');
    std::string sizePath =
        std::string("/sys/class/uio/") + (name ? name + 1 : uioPath) + "/maps/map0/size";
    FILE* file = std::fopen(sizePath.c_str(), "r");
    unsigned long long size = 0;
    if (file == nullptr || std::fscanf(file, "%llx", &size) != 1 || size == 0) {
        if (file)
            std::fclose(file);
        error = "cannot read " + sizePath;
        return false;
    }
    std::fclose(file);
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        error = std::string("cannot map the ring: ") + std::strerror(errno);
        return false;
    }
    area = static_cast<uint8_t*>(mapped);
    areaSize = size;
    const tcmu_mailbox* mailbox = reinterpret_cast<const tcmu_mailbox*>(area);
    if (mailbox->version != TCMU_MAILBOX_VERSION ||
        !(mailbox->flags & TCMU_MAILBOX_FLAG_CAP_OOOC)) {
        error = "the ring is not version 2 with out-of-order completion";
        return false;
    }
    // Whatever the kernel queued before this server came counts as new.
    taken = __atomic_load_n(&mailbox->cmd_tail, __ATOMIC_ACQUIRE);
    return true;
}

uint8_t* TcmuRing::Entry(uint32_t offset) const
{
    const tcmu_mailbox* mailbox = reinterpret_cast<const tcmu_mailbox*>(area);
    return area + mailbox->cmdr_off + offset;
}

bool TcmuRing::Acknowledge()
{
    uint32_t count;
    if (read(fd, &count, sizeof count) >= 0 || errno == EINTR)
        return true;
    error = std::string("the UIO device is gone: ") + std::strerror(errno);
    return false;
}

void TcmuRing::Take(std::vector<TcmuCommand>& commands, std::vector<uint16_t>& aborted)
{
    tcmu_mailbox* mailbox = reinterpret_cast<tcmu_mailbox*>(area);
    uint32_t head = __atomic_load_n(&mailbox->cmd_head, __ATOMIC_ACQUIRE);
    while (taken != head) {
        const tcmu_cmd_entry* entry = reinterpret_cast<const tcmu_cmd_entry*>(Entry(taken));
        if (EntryOp(entry) == TCMU_OP_CMD) {
            TcmuCommand command;
            command.id = entry->hdr.cmd_id;
            const uint8_t* cdb = area + entry->req.cdb_off;
            // The target core keeps as many command bytes as the group code (top three
            // bits) defines, 10 for the vendor groups: a longer block sent by the
            // initiator arrives cut to that length.
            static const uint8_t lengths[8] = {6, 10, 10, 12, 16, 12, 10, 10};
            command.cdbLength = lengths[cdb[0] >> 5];
            std::memset(command.cdb, 0, sizeof command.cdb);
            std::memcpy(command.cdb, cdb, command.cdbLength);
            command.transferLength = 0;
            for (uint32_t i = 0; i < entry->req.iov_cnt; ++i) {
                const iovec& iov = entry->req.iov[i];
                uint64_t offset = reinterpret_cast<uintptr_t>(iov.iov_base);
                command.buffers.push_back({offset, static_cast<uint32_t>(iov.iov_len)});
                command.transferLength += static_cast<uint32_t>(iov.iov_len);
            }
            commands.push_back(command);
        } else if (EntryOp(entry) == TCMU_OP_TMR) {
            const tcmu_tmr_entry* tmr = reinterpret_cast<const tcmu_tmr_entry*>(entry);
            for (uint32_t i = 0; i < tmr->cmd_cnt; ++i)
                aborted.push_back(tmr->cmd_ids[i]);
        }
        taken = (taken + EntryLength(entry)) % mailbox->cmdr_size;
    }
}

void TcmuRing::ReadData(const TcmuCommand& command, std::vector<uint8_t>& bytes) const
{
    bytes.clear();
    for (const auto& buffer : command.buffers)
        bytes.insert(bytes.end(), area + buffer.first, area + buffer.first + buffer.second);
}

void TcmuRing::WriteData(const TcmuCommand& command, const uint8_t* bytes, uint32_t length)
{
    for (const auto& buffer : command.buffers) {
        if (length == 0)
            return;
        uint32_t part = buffer.second < length ? buffer.second : length;
        std::memcpy(area + buffer.first, bytes, part);
        bytes += part;
        length -= part;
    }
}

void TcmuRing::Complete(uint16_t id, uint8_t status, const uint8_t* sense, uint32_t senseLength,
                        uint32_t readLength)
{
    tcmu_mailbox* mailbox = reinterpret_cast<tcmu_mailbox*>(area);
    uint32_t tail = mailbox->cmd_tail;
    // With out-of-order completion a completion goes into the next command entry at the
    // tail, whichever command it was: the kernel reads the id from the entry. Padding and
    // task management entries are passed over.
    tcmu_cmd_entry* entry = reinterpret_cast<tcmu_cmd_entry*>(Entry(tail));
    while (EntryOp(entry) != TCMU_OP_CMD) {
        tail = (tail + EntryLength(entry)) % mailbox->cmdr_size;
        entry = reinterpret_cast<tcmu_cmd_entry*>(Entry(tail));
    }
    entry->hdr.cmd_id = id;
    entry->hdr.uflags = 0;
    entry->rsp.scsi_status = status;
    std::memset(entry->rsp.sense_buffer, 0, sizeof entry->rsp.sense_buffer);
    if (senseLength > sizeof entry->rsp.sense_buffer)
        senseLength = sizeof entry->rsp.sense_buffer;
    if (senseLength != 0)
        std::memcpy(entry->rsp.sense_buffer, sense, senseLength);
    if (mailbox->flags & TCMU_MAILBOX_FLAG_CAP_READ_LEN) {
        entry->hdr.uflags |= TCMU_UFLAG_READ_LEN;
        entry->rsp.read_len = readLength;
    }
    tail = (tail + EntryLength(entry)) % mailbox->cmdr_size;
    __atomic_store_n(&mailbox->cmd_tail, tail, __ATOMIC_RELEASE);
}

void TcmuRing::Kick()
{
    uint32_t one = 1;
    if (write(fd, &one, sizeof one) < 0)
        std::perror("driveserver: write uio");
}
