// The Linux program's ASPI layer over SG_IO, against a stand-in for the ioctl: what the
// kernel receives for each block, what the caller finds in the block after the kernel's
// answer, and a call the kernel keeps past the caller's abort.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "AspiBlocks.h"
#include "SgAspiLayer.h"

namespace {

// Answers each call with the test's function; a held call waits until Release.
class StandInIoctl : public SgTransport {
public:
    // A call as the kernel received it: the header, the device, the command and data-out bytes.
    struct Call {
        SgIoHeader header;
        int device;
        std::vector<uint8_t> command, dataOut;
    };
    std::function<int(SgIoHeader&)> answer;
    std::vector<Call> calls;

    int Run(int device, SgIoHeader& header) override
    {
        std::unique_lock<std::mutex> guard(lock);
        const uint8_t* out = static_cast<const uint8_t*>(header.dxferp);
        calls.push_back({header, device, {header.cmdp, header.cmdp + header.cmdLen}, {}});
        if (header.dxferDirection == Sg::kDxferToDevice)
            calls.back().dataOut.assign(out, out + header.dxferLen);
        changed.notify_all();
        released.wait(guard, [&] { return !holding; });
        return answer ? answer(header) : 0;
    }
    void Hold()
    {
        std::lock_guard<std::mutex> guard(lock);
        holding = true;
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(lock);
        holding = false;
        released.notify_all();
    }
    bool WaitForCalls(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(5),
                                [&] { return calls.size() >= count; });
    }
    size_t CallCount()
    {
        std::lock_guard<std::mutex> guard(lock);
        return calls.size();
    }

private:
    std::mutex lock;
    std::condition_variable changed, released;
    bool holding = false;
};

SRB_ExecSCSICmd Block(uint8_t adapter, uint8_t target, uint8_t opcode, uint8_t flags,
                      uint32_t length, uint8_t* data)
{
    return AspiBlocks::Execute(adapter, target, opcode, flags, length, data);
}

uint32_t Abort(SgAspiLayer& layer, SRB_ExecSCSICmd& srb)
{
    SRB_Abort abort = AspiBlocks::Abort(srb);
    return layer.Send(&abort);
}

using AspiBlocks::Settled;

// The drive at target 1 behind adapter 0, one at target 0 behind adapter 1.
const std::vector<uint8_t> kTwoDrives = {1, 0};

TEST(SgAspiLayer, WhatTheKernelReceives)
{
    std::vector<uint8_t> data(65537);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 1);
    const struct {
        const char* name;
        uint8_t adapter, target, opcode, cdbLength, flags;
        uint32_t length;
        uint8_t sent;       // what SendASPI32Command answers
        int direction;      // of the call
        uint32_t timeoutMs; // of the call: by kind of command
        int device;         // the transport's device
    } cases[] = {
        {"INQUIRY in", 0, 1, 0x12, 6, SRB_DIR_IN, 36, SS_PENDING, Sg::kDxferFromDevice, 15000, 0},
        {"firmware write out", 0, 1, 0xCB, 12, SRB_DIR_OUT, 63490, SS_PENDING, Sg::kDxferToDevice,
         9060000, 0},
        {"eject, no data", 1, 0, 0x1B, 12, SRB_DIR_IN, 0, SS_PENDING, Sg::kDxferNone, 45000, 1},
        {"the probe, no data", 0, 1, 0xCB, 12, SRB_DIR_IN, 0, SS_PENDING, Sg::kDxferNone, 15000, 0},
        {"no such adapter", 2, 0, 0x12, 6, SRB_DIR_IN, 36, SS_INVALID_HA, 0, 0, -1},
        {"no drive at that target", 0, 0, 0x12, 6, SRB_DIR_IN, 36, SS_NO_DEVICE, 0, 0, -1},
        {"above 64 KiB", 0, 1, 0xCB, 12, SRB_DIR_OUT, 65537, SS_BUFFER_TO_BIG, 0, 0, -1},
    };
    for (const auto& c : cases) {
        StandInIoctl kernel;
        SgAspiLayer layer(kernel, kTwoDrives);
        SRB_ExecSCSICmd srb = Block(c.adapter, c.target, c.opcode, c.flags, c.length, data.data());
        srb.SRB_CDBLen = c.cdbLength;
        srb.CDBByte[2] = 0x04;
        srb.CDBByte[5] = 0x5A;
        EXPECT_EQ(c.sent, layer.Send(&srb)) << c.name;
        if (c.sent != SS_PENDING) {
            EXPECT_EQ(c.sent, srb.SRB_Status) << c.name;
            EXPECT_EQ(0u, kernel.CallCount()) << c.name << ": nothing reaches the kernel";
            continue;
        }
        EXPECT_EQ(SS_COMP, Settled(srb)) << c.name;
        ASSERT_EQ(1u, kernel.CallCount()) << c.name;
        const SgIoHeader& call = kernel.calls[0].header;
        EXPECT_EQ('S', call.interfaceId) << c.name;
        EXPECT_EQ(c.direction, call.dxferDirection) << c.name;
        EXPECT_EQ(c.length, call.dxferLen) << c.name;
        EXPECT_EQ(c.timeoutMs, call.timeout) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(srb.CDBByte, srb.CDBByte + c.cdbLength),
                  kernel.calls[0].command)
            << c.name;
        EXPECT_EQ(c.device, kernel.calls[0].device) << c.name;
        // The kernel writes into the layer's buffers, never the caller's.
        EXPECT_NE(static_cast<void*>(data.data()), call.dxferp) << c.name;
        std::vector<uint8_t> expectedOut;
        if (c.direction == Sg::kDxferToDevice)
            expectedOut.assign(data.begin(), data.begin() + c.length);
        EXPECT_EQ(expectedOut, kernel.calls[0].dataOut) << c.name;
    }
}

// What the caller finds once Linux has ended the call: each host and driver status, an
// errno, and sense as the drive or the kernel wrote it.
TEST(SgAspiLayer, WhatTheCallerFinds)
{
    typedef std::vector<uint8_t> Bytes;
    const Bytes fixed = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x0C, 0x00, 0, 0, 0, 0};
    const Bytes descriptor = {0x72, 0x03, 0x0C, 0x00, 0, 0, 0, 0};
    // With an information descriptor (valid, 12 34h) and a sense-key specific one.
    const Bytes described = {0x72, 0x05, 0x24, 0x00, 0,    0,    0,    20, 0x00, 0x0A,
                             0x80, 0,    0,    0,    0,    0,    0,    0,  0x12, 0x34,
                             0x02, 0x06, 0,    0,    0xC0, 0x00, 0x02, 0};
    const Bytes describedFixed = {0xF0, 0, 0x05, 0,    0, 0x12, 0x34, 10,   0,
                                  0,    0, 0,    0x24, 0, 0,    0xC0, 0x00, 0x02};
    const struct {
        const char* name;
        int error; // of the call
        uint8_t scsiStatus;
        uint16_t hostStatus, driverStatus;
        int32_t resid;
        Bytes sense; // as the kernel wrote it
        uint8_t status, haStat, targStat;
        uint32_t dataCopied, residual;
        Bytes senseFound; // in the caller's sense area
        bool gone;        // the layer found the drive gone
    } cases[] = {
        {"good", 0, 0x00, 0, 0, 0, {}, SS_COMP, 0, 0, 36, 0, {}, false},
        {"short transfer", 0, 0x00, 0, 0, 16, {}, SS_COMP, HASTAT_DO_DU, 0, 20, 16, {}, false},
        {"check condition 3/0C/00", 0, 0x02, 0, 0x08, 36, fixed, SS_ERR, 0, 2, 0, 36, fixed, false},
        {"busy", 0, 0x08, 0, 0, 36, {}, SS_ERR, 0, 8, 0, 36, {}, false},
        {"a residual beyond the request",
         0,
         0x00,
         0,
         0,
         5000,
         {},
         SS_COMP,
         HASTAT_DO_DU,
         0,
         0,
         36,
         {},
         false},
        {"descriptor sense as fixed", 0, 0x02, 0, 0x08, 36, descriptor, SS_ERR, 0, 2, 0, 36, fixed,
         false},
        {"descriptor sense with information", 0, 0x02, 0, 0x08, 36, described, SS_ERR, 0, 2, 0, 36,
         describedFixed, false},
        {"sense with GOOD, key 3", 0, 0x00, 0, 0x08, 36, fixed, SS_ERR, 0, 2, 0, 36, fixed, false},
        {"DID_NO_CONNECT", 0, 0, 0x01, 0, 36, {}, SS_ERR, HASTAT_SEL_TO, 0, 0, 36, {}, true},
        {"DID_BUS_BUSY", 0, 0, 0x02, 0, 36, {}, SS_ERR, HASTAT_TIMEOUT, 0, 0, 36, {}, false},
        {"DID_TIME_OUT",
         0,
         0,
         0x03,
         0,
         36,
         {},
         SS_ERR,
         HASTAT_COMMAND_TIMEOUT,
         0,
         0,
         36,
         {},
         false},
        {"DRIVER_TIMEOUT of an older kernel",
         0,
         0,
         0,
         0x06,
         36,
         {},
         SS_ERR,
         HASTAT_COMMAND_TIMEOUT,
         0,
         0,
         36,
         {},
         false},
        {"DID_BAD_TARGET", 0, 0, 0x04, 0, 36, {}, SS_ERR, HASTAT_SEL_TO, 0, 0, 36, {}, true},
        {"DID_ABORT", 0, 0, 0x05, 0, 36, {}, SS_ABORTED, 0, 0, 0, 36, {}, false},
        {"DID_PARITY", 0, 0, 0x06, 0, 36, {}, SS_ERR, HASTAT_PARITY_ERROR, 0, 0, 36, {}, false},
        {"DID_ERROR", 0, 0, 0x07, 0, 36, {}, SS_ERR, 0, 0, 0, 36, {}, false},
        {"DID_RESET", 0, 0, 0x08, 0, 36, {}, SS_ERR, HASTAT_BUS_RESET, 0, 0, 36, {}, false},
        {"DID_TRANSPORT_DISRUPTED",
         0,
         0,
         0x0E,
         0,
         36,
         {},
         SS_ERR,
         HASTAT_BUS_FREE,
         0,
         0,
         36,
         {},
         false},
        {"DID_TRANSPORT_FAILFAST",
         0,
         0,
         0x0F,
         0,
         36,
         {},
         SS_ERR,
         HASTAT_SEL_TO,
         0,
         0,
         36,
         {},
         true},
        {"a host status Linux may add", 0, 0, 0x3F, 0, 36, {}, SS_ERR, 0, 0, 0, 36, {}, false},
        {"DRIVER_ERROR with GOOD", 0, 0, 0, 0x04, 36, {}, SS_ERR, 0, 0, 0, 36, {}, false},
        {"ENODEV: the device removed",
         19,
         0,
         0,
         0,
         0,
         {},
         SS_ERR,
         HASTAT_SEL_TO,
         0,
         0,
         36,
         {},
         true},
        {"ENXIO", 6, 0, 0, 0, 0, {}, SS_ERR, HASTAT_SEL_TO, 0, 0, 36, {}, true},
        {"EPERM: the kernel's command filter", 1, 0, 0, 0, 0, {}, SS_ERR, 0, 0, 0, 36, {}, false},
    };
    for (const auto& c : cases) {
        StandInIoctl kernel;
        kernel.answer = [&](SgIoHeader& call) {
            call.status = c.scsiStatus;
            call.hostStatus = c.hostStatus;
            call.driverStatus = c.driverStatus;
            call.resid = c.resid;
            call.sbLenWr = static_cast<uint8_t>(c.sense.size());
            std::copy(c.sense.begin(), c.sense.end(), call.sbp);
            for (uint32_t i = 0; i < call.dxferLen; ++i)
                static_cast<uint8_t*>(call.dxferp)[i] = static_cast<uint8_t>(i);
            return c.error;
        };
        SgAspiLayer layer(kernel, kTwoDrives);
        uint8_t data[36];
        std::memset(data, 0xEE, sizeof data);
        SRB_ExecSCSICmd srb =
            Block(0, 1, 0x12, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT, sizeof data, data);
        std::memset(srb.SenseArea, 0xEE, sizeof srb.SenseArea);
        ASSERT_EQ(SS_PENDING, layer.Send(&srb)) << c.name;
        EXPECT_EQ(c.status, Settled(srb)) << c.name;
        EXPECT_EQ(c.haStat, srb.SRB_HaStat) << c.name;
        EXPECT_EQ(c.targStat, srb.SRB_TargStat) << c.name;
        EXPECT_EQ(c.residual, srb.SRB_BufLen) << c.name;
        EXPECT_EQ(c.gone, layer.DriveGone()) << c.name;
        for (uint32_t i = 0; i < sizeof data; ++i)
            ASSERT_EQ(i < c.dataCopied ? i : 0xEEu, data[i]) << c.name << ", data byte " << i;
        Bytes found(srb.SenseArea, srb.SenseArea + ASPI_SENSE_LEN);
        Bytes expected = c.senseFound;
        expected.resize(ASPI_SENSE_LEN, 0xEE);
        EXPECT_EQ(expected, found) << c.name;
    }
}

// A call the kernel keeps (a drive that does not answer) goes on past the caller's abort:
// the caller has its block back at once and never hears of the call again; the request
// queued behind it, and those sent until it ends, end as busy without reaching the kernel.
TEST(SgAspiLayer, AbortOfACallTheKernelKeeps)
{
    StandInIoctl kernel;
    kernel.Hold();
    SgAspiLayer layer(kernel, kTwoDrives);
    uint8_t data[36];
    SRB_ExecSCSICmd load = Block(0, 1, 0x1B, SRB_DIR_IN, 0, nullptr);
    SRB_ExecSCSICmd queued = Block(0, 1, 0x12, SRB_DIR_IN, sizeof data, data);
    ASSERT_EQ(SS_PENDING, layer.Send(&load));
    ASSERT_TRUE(kernel.WaitForCalls(1));
    ASSERT_EQ(SS_PENDING, layer.Send(&queued));
    EXPECT_FALSE(layer.HoldsCalls());

    EXPECT_EQ(SS_COMP, Abort(layer, load));
    EXPECT_EQ(SS_ABORTED, load.SRB_Status);
    EXPECT_TRUE(layer.HoldsCalls());
    EXPECT_EQ(SS_ASPI_IS_BUSY, queued.SRB_Status);
    EXPECT_EQ(SS_ABORT_FAIL, Abort(layer, queued)) << "a request given back cannot be aborted";
    SRB_ExecSCSICmd sent = Block(0, 1, 0x12, SRB_DIR_IN, sizeof data, data);
    EXPECT_EQ(SS_ASPI_IS_BUSY, layer.Send(&sent));
    EXPECT_EQ(SS_ASPI_IS_BUSY, sent.SRB_Status);
    SRB_ExecSCSICmd other = Block(1, 0, 0x00, 0, 0, nullptr);
    EXPECT_EQ(SS_PENDING, layer.Send(&other)) << "another adapter takes requests";

    load.SRB_Status = 0x77;
    kernel.answer = [](SgIoHeader& call) {
        call.hostStatus = 0x03; // DID_TIME_OUT
        return 0;
    };
    kernel.Release();
    Settled(other);
    // Once the held call has ended, the adapter's requests reach the kernel again.
    ASSERT_TRUE(kernel.WaitForCalls(2));
    SRB_ExecSCSICmd after = Block(0, 1, 0x00, 0, 0, nullptr);
    for (int i = 0; i < 500 && layer.HoldsCalls(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(SS_PENDING, layer.Send(&after));
    Settled(after);
    EXPECT_EQ(3u, kernel.CallCount());
    EXPECT_EQ(0x77, load.SRB_Status) << "the block of the aborted call was written again";
    EXPECT_FALSE(layer.HoldsCalls());
}

} // namespace

// A process that may start no thread (a user at its limit): the layer refuses every
// request at once and says so, instead of ending the program. Run in a child process
// dropped to such a user; the test needs root to drop to one.
TEST(SgAspiLayer, NoThreadForAnAdapter)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to run a child as a user at its thread limit";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit none = {0, 0};
        if (setgid(65534) != 0 || setuid(65534) != 0 || setrlimit(RLIMIT_NPROC, &none) != 0)
            _exit(10);
        StandInIoctl kernel;
        SgAspiLayer layer(kernel, kTwoDrives);
        SRB_ExecSCSICmd srb = Block(0, 1, 0x00, 0, 0, nullptr);
        uint32_t sent = layer.Send(&srb);
        _exit(layer.Started()                     ? 11
              : sent != SS_INSUFFICIENT_RESOURCES ? 12
              : kernel.CallCount() != 0           ? 13
                                                  : 0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status))
        << "10: no such user; 11: the layer says it started; 12: the request was not refused "
           "at once; 13: it reached the kernel";
}
