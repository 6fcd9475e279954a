// Our WNASPI32.dll over the SCSI pass-through interface, in-process, on a machine whose
// drive letters, device handles and pass-through calls are stand-ins backed by the drive
// model: discovery, the requests of ASPI, abort, and the ways Windows refuses.
#include <windows.h>

#include <winioctl.h>
#include <ntddscsi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "LibraryInternals.h"
#include "scsi/AspiTypes.h"
#include "LayerRedirect.h"
#include "PassThroughMachine.h"
#include "SimLink.h"
#include "scsi/ScsiDevice.h"

namespace {

const char kOneRvx[] = "adapters 1\n"
                       "device 0 1 rvx revision 1.00\n";

typedef uint32_t (*SendFn)(void* request);

// An execute block with its own data buffer and event.
struct Request {
    Request(uint8_t haId, uint8_t target, std::vector<uint8_t> cdb, uint8_t flags, uint32_t length)
        : data(length + 1, 0xEE)
    {
        std::memset(&srb, 0, sizeof srb);
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = haId;
        srb.SRB_Target = target;
        srb.SRB_Flags = flags;
        srb.SRB_BufLen = length;
        srb.SRB_BufPointer = length > 0 ? data.data() : nullptr;
        srb.SRB_SenseLen = ASPI_SENSE_LEN;
        srb.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
        std::memcpy(srb.CDBByte, cdb.data(), cdb.size());
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (flags & SRB_EVENT_NOTIFY)
            srb.SRB_PostProc = event;
    }
    ~Request() { CloseHandle(event); }
    // Sends and waits for the final status.
    uint8_t Run(SendFn send, DWORD timeoutMs = 5000)
    {
        uint32_t status = send(&srb);
        if (status == SS_PENDING)
            WaitForSingleObject(event, timeoutMs);
        return srb.SRB_Status;
    }

    SRB_ExecSCSICmd srb;
    std::vector<uint8_t> data;
    HANDLE event;
};

uint32_t SendThroughMachine(void* request)
{
    return PassThroughMachine::Get().Send(request);
}

SendFn SimulatedSend()
{
    HMODULE sim = GetModuleHandleA("wnaspi32.dll");
    return sim != nullptr ? reinterpret_cast<SendFn>(
                                reinterpret_cast<void*>(GetProcAddress(sim, MAKEINTRESOURCEA(2))))
                          : nullptr;
}

std::string Text(const uint8_t* bytes, size_t size)
{
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

class PassThroughLayerTest : public testing::Test {
protected:
    void Use(const char* scenario, const std::vector<MachineDrive>& drives)
    {
        ASSERT_EQ("", machine.Ready());
        ASSERT_EQ("", machine.Configure(scenario, drives));
    }
    void TearDown() override { machine.ReleaseHung(false); }

    PassThroughMachine& machine = PassThroughMachine::Get();
};

// One adapter per CD-ROM letter in letter order; target and LUN from GET_ADDRESS, 0/0
// where the driver does not answer it; letters that cannot be opened are left out.
TEST_F(PassThroughLayerTest, AdaptersFromCdromLetters)
{
    MachineDrive bridge = CdromDrive('F', 0, 3);
    bridge.answersAddress = false;
    MachineDrive gone = CdromDrive('G', 0, 4);
    gone.openError = ERROR_FILE_NOT_FOUND;
    MachineDrive disk = CdromDrive('C', 0, 5);
    disk.type = DRIVE_FIXED;
    MachineDrive lun = CdromDrive('H', 0, 6);
    lun.addressTarget = 9;
    lun.addressLun = 2;
    ASSERT_NO_FATAL_FAILURE(Use("adapters 1\ndevice 0 1 rvx\ndevice 0 3 rvx\n",
                                {disk, CdromDrive('D', 0, 1), bridge, gone, lun}));
    EXPECT_EQ(0x0103u, machine.SupportInfo());

    const struct {
        uint8_t ha;
        uint8_t status;
        const char* identifier;
        uint8_t target, lun, maxTargets;
    } cases[] = {
        {0, SS_COMP, "SPTI D:         ", 1, 0, 8},
        {1, SS_COMP, "SPTI F:         ", 0, 0, 8},
        {2, SS_COMP, "SPTI H:         ", 9, 2, 10},
        {3, SS_INVALID_HA, nullptr, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SRB_HAInquiry inquiry;
        std::memset(&inquiry, 0, sizeof inquiry);
        inquiry.SRB_Cmd = SC_HA_INQUIRY;
        inquiry.SRB_HaId = c.ha;
        EXPECT_EQ(c.status, machine.Send(&inquiry)) << "adapter " << int(c.ha);
        EXPECT_EQ(c.status, inquiry.SRB_Status) << "adapter " << int(c.ha);
        EXPECT_EQ(3, inquiry.HA_Count) << "adapter " << int(c.ha);
        if (c.identifier == nullptr)
            continue;
        EXPECT_EQ(c.identifier, Text(inquiry.HA_Identifier, 16)) << "adapter " << int(c.ha);
        EXPECT_EQ("SPTI ASPI32     ", Text(inquiry.HA_ManagerId, 16));
        EXPECT_EQ(0, inquiry.HA_Unique[0] | inquiry.HA_Unique[1]) << "any alignment";
        EXPECT_EQ(c.maxTargets, inquiry.HA_Unique[3]) << "adapter " << int(c.ha);
        EXPECT_EQ(0, inquiry.HA_Unique[8]) << "adapter " << int(c.ha) << " is read-only";
        uint32_t maxTransfer;
        std::memcpy(&maxTransfer, inquiry.HA_Unique + 4, 4);
        EXPECT_EQ(65536u, maxTransfer);

        // The drive is the adapter's only device.
        for (int target = 0; target < 10; ++target) {
            SRB_GDEVBlock query;
            std::memset(&query, 0, sizeof query);
            query.SRB_Cmd = SC_GET_DEV_TYPE;
            query.SRB_HaId = c.ha;
            query.SRB_Target = static_cast<uint8_t>(target);
            query.SRB_Lun = c.lun;
            bool own = target == c.target;
            EXPECT_EQ(own ? SS_COMP : SS_NO_DEVICE, machine.Send(&query))
                << "adapter " << int(c.ha) << " target " << target;
            if (own) {
                EXPECT_EQ(DTYPE_CDROM, query.SRB_DeviceType);
            }
        }
    }

    // How the letters were opened: C: is no CD-ROM and is not opened.
    std::vector<MachineOpen> opens = machine.Opens();
    ASSERT_EQ(4u, opens.size());
    const char* paths[] = {"\\\\.\\D:", "\\\\.\\F:", "\\\\.\\G:", "\\\\.\\H:"};
    for (size_t i = 0; i < opens.size(); ++i) {
        EXPECT_EQ(paths[i], opens[i].path);
        EXPECT_EQ(DWORD(GENERIC_READ | GENERIC_WRITE), opens[i].access) << paths[i];
        EXPECT_EQ(DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE), opens[i].share) << paths[i];
        EXPECT_EQ(DWORD(OPEN_EXISTING), opens[i].disposition) << paths[i];
        EXPECT_EQ(DWORD(FILE_FLAG_OVERLAPPED), opens[i].flags) << paths[i];
    }
}

TEST_F(PassThroughLayerTest, NoDriveLetters)
{
    ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {}));
    EXPECT_EQ(0xE800u, machine.SupportInfo());
    SRB_HAInquiry inquiry;
    std::memset(&inquiry, 0xCC, sizeof inquiry);
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = 0;
    EXPECT_EQ(SS_INVALID_HA, machine.Send(&inquiry));
    EXPECT_EQ(0, inquiry.HA_Count);
    Request tur(0, 0, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
    EXPECT_EQ(SS_INVALID_HA, tur.Run(&SendThroughMachine));
    EXPECT_TRUE(machine.Requests().empty());
    EXPECT_EQ(26, machine.DriveTypeQueries()) << "every letter asked once";
}

// The same requests through both layers end the same way: status, adapter and target
// status, sense bytes and data, and the drive's state moves alike.
TEST_F(PassThroughLayerTest, RequestsEndAsOnTheSimulatedLayer)
{
    ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {CdromDrive('D', 0, 1)}));
    ASSERT_EQ(0x0101u, machine.SupportInfo());
    SimLink sim;
    ASSERT_TRUE(sim.Configure(kOneRvx)) << sim.LastError();
    SendFn simulated = SimulatedSend();
    ASSERT_NE(nullptr, simulated);

    std::vector<uint8_t> payload(63490, 0); // a zero code part sums to zero
    const uint8_t in = SRB_DIR_IN | SRB_EVENT_NOTIFY, out = SRB_DIR_OUT | SRB_EVENT_NOTIFY;
    const struct {
        const char* name;
        std::vector<uint8_t> cdb;
        uint8_t flags;
        uint32_t length;
        bool sendPayload;
    } cases[] = {
        {"INQUIRY", {0x12, 0, 0, 0, 36, 0}, in, 36, false},
        {"INQUIRY, 96 bytes", {0x12, 0, 0, 0, 96, 0}, in, 96, false},
        {"INQUIRY by its code", {0x12, 0, 0, 0, 36, 0}, SRB_EVENT_NOTIFY, 36, false},
        {"INQUIRY with EVPD", {0x12, 1, 0x80, 0, 36, 0}, in, 36, false},
        {"probe", {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 2, 0, 0x40, 0}, in, 0, false},
        {"unknown command", {0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0}, in, 0, false},
        {"unload", {0x1B, 0, 0, 0, 2, 0}, in, 0, false},
        {"TEST UNIT READY, no medium", {0, 0, 0, 0, 0, 0}, in, 0, false},
        {"load", {0x1B, 0, 0, 0, 3, 0}, in, 0, false},
        {"write, short", {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 2, 0, 0x40, 0}, out, 100, true},
        {"write", {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 2, 0, 0x40, 0}, out, 63490, true},
    };
    for (const auto& c : cases) {
        Request ours(0, 1, c.cdb, c.flags, c.length);
        Request theirs(0, 1, c.cdb, c.flags, c.length);
        if (c.sendPayload) {
            std::memcpy(ours.data.data(), payload.data(), c.length);
            std::memcpy(theirs.data.data(), payload.data(), c.length);
        }
        theirs.Run(simulated);
        ours.Run(&SendThroughMachine);
        EXPECT_EQ(int(theirs.srb.SRB_Status), int(ours.srb.SRB_Status)) << c.name;
        EXPECT_EQ(int(theirs.srb.SRB_HaStat), int(ours.srb.SRB_HaStat)) << c.name;
        EXPECT_EQ(int(theirs.srb.SRB_TargStat), int(ours.srb.SRB_TargStat)) << c.name;
        EXPECT_EQ(Text(theirs.srb.SenseArea, ASPI_SENSE_LEN),
                  Text(ours.srb.SenseArea, ASPI_SENSE_LEN))
            << c.name;
        EXPECT_TRUE(theirs.data == ours.data) << c.name << ": data differ";
    }
    SimDeviceInfo drive = sim.Device(0, 1);
    EXPECT_EQ(1u, drive.flashCount) << "the reference drive took the write";
    std::vector<SimRequestRecord> requests = machine.Requests();
    ASSERT_EQ(11u, requests.size());
    EXPECT_EQ(DriveModel::Fnv1a(payload.data(), 63490), requests[10].dataOutDigest);
    EXPECT_TRUE(machine.Complaints().empty()) << machine.Complaints()[0];
}

// Blocks refused at once: status written and returned, nothing reaches the drive.
TEST_F(PassThroughLayerTest, RefusedBlocks)
{
    ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {CdromDrive('D', 0, 1)}));
    ASSERT_EQ(0x0101u, machine.SupportInfo());
    EXPECT_EQ(SS_INVALID_SRB, machine.Send(nullptr));

    const struct {
        const char* name;
        uint8_t command, ha, target, lun, cdbLength, flags;
        uint32_t length;
        bool nullBuffer;
        uint8_t status;
    } cases[] = {
        {"unknown command code", 0x07, 0, 1, 0, 6, SRB_DIR_IN, 0, false, SS_INVALID_CMD},
        {"adapter past the count", SC_EXEC_SCSI_CMD, 1, 1, 0, 6, SRB_DIR_IN, 0, false,
         SS_INVALID_HA},
        {"another target", SC_EXEC_SCSI_CMD, 0, 0, 0, 6, SRB_DIR_IN, 0, false, SS_NO_DEVICE},
        {"another LUN", SC_EXEC_SCSI_CMD, 0, 1, 1, 6, SRB_DIR_IN, 0, false, SS_NO_DEVICE},
        {"command length 8", SC_EXEC_SCSI_CMD, 0, 1, 0, 8, SRB_DIR_IN, 0, false, SS_INVALID_SRB},
        {"above 64 KiB", SC_EXEC_SCSI_CMD, 0, 1, 0, 10, SRB_DIR_IN, 65537, false, SS_BUFFER_TO_BIG},
        {"null buffer", SC_EXEC_SCSI_CMD, 0, 1, 0, 6, SRB_DIR_IN, 36, true, SS_INVALID_SRB},
        {"both directions", SC_EXEC_SCSI_CMD, 0, 1, 0, 6, SRB_DIR_IN | SRB_DIR_OUT, 36, false,
         SS_INVALID_SRB},
        {"vendor data without direction", SC_EXEC_SCSI_CMD, 0, 1, 0, 12, 0, 36, false,
         SS_INVALID_SRB},
    };
    for (const auto& c : cases) {
        Request request(c.ha, c.target, std::vector<uint8_t>(c.cdbLength, 0), c.flags, c.length);
        request.srb.SRB_Cmd = c.command;
        request.srb.SRB_Lun = c.lun;
        request.srb.CDBByte[0] = c.flags == 0 ? 0xCB : 0x12;
        if (c.nullBuffer)
            request.srb.SRB_BufPointer = nullptr;
        EXPECT_EQ(c.status, machine.Send(&request.srb)) << c.name;
        EXPECT_EQ(c.status, request.srb.SRB_Status) << c.name;
    }
    EXPECT_TRUE(machine.Requests().empty());
}

// The event is set, or the posting routine called with the block, or a polling caller
// sees the status change; requests to one adapter run in the order sent.
uint8_t postedStatus;
void* postedBlock;
void PostRoutine(void* block)
{
    postedBlock = block;
    postedStatus = static_cast<SRB_ExecSCSICmd*>(block)->SRB_Status;
}

TEST_F(PassThroughLayerTest, CompletionReachesTheCaller)
{
    ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {CdromDrive('D', 0, 1)}));
    ASSERT_EQ(0x0101u, machine.SupportInfo());
    Request notify(0, 1, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN | SRB_EVENT_NOTIFY, 36);
    Request post(0, 1, {0x12, 0, 0, 0, 20, 0}, SRB_DIR_IN | SRB_POSTING, 20);
    post.srb.SRB_PostProc = reinterpret_cast<void*>(&PostRoutine);
    Request poll(0, 1, {0x00, 0, 0, 0, 0, 0}, 0, 0);
    postedBlock = nullptr;
    EXPECT_EQ(SS_PENDING, machine.Send(&notify.srb));
    EXPECT_EQ(SS_PENDING, machine.Send(&post.srb));
    EXPECT_EQ(SS_PENDING, machine.Send(&poll.srb));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(notify.event, 5000));
    EXPECT_EQ(SS_COMP, notify.srb.SRB_Status);
    for (int i = 0; i < 500 && poll.srb.SRB_Status == SS_PENDING; ++i)
        Sleep(10);
    EXPECT_EQ(SS_COMP, poll.srb.SRB_Status);
    EXPECT_EQ(&post.srb, postedBlock);
    EXPECT_EQ(SS_COMP, postedStatus) << "the status is final when the routine runs";

    std::vector<SimRequestRecord> requests = machine.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(36, requests[0].cdb[4]);
    EXPECT_EQ(20, requests[1].cdb[4]);
    EXPECT_EQ(0x00, requests[2].cdb[0]);
}

// A queued request is aborted at once; the running one through a cancel of its call; a
// block the layer does not know cannot be aborted.
TEST_F(PassThroughLayerTest, AbortQueuedAndRunning)
{
    ASSERT_NO_FATAL_FAILURE(
        Use("adapters 1\ndevice 0 1 rvx\nfault 0 1 tur hang count 1\n", {CdromDrive('D', 0, 1)}));
    ASSERT_EQ(0x0101u, machine.SupportInfo());
    Request running(0, 1, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
    Request queued(0, 1, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN | SRB_EVENT_NOTIFY, 36);
    Request stranger(0, 1, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
    ASSERT_EQ(SS_PENDING, machine.Send(&running.srb));
    for (int i = 0; i < 300 && machine.HungCount() == 0; ++i)
        Sleep(10);
    ASSERT_EQ(1u, machine.HungCount());
    ASSERT_EQ(SS_PENDING, machine.Send(&queued.srb));

    SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &stranger.srb;
    EXPECT_EQ(SS_ABORT_FAIL, machine.Send(&abort));

    abort.SRB_ToAbort = &queued.srb;
    EXPECT_EQ(SS_COMP, machine.Send(&abort));
    EXPECT_EQ(SS_ABORTED, queued.srb.SRB_Status);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(queued.event, 0));
    EXPECT_EQ(SS_PENDING, running.srb.SRB_Status);

    abort.SRB_ToAbort = &running.srb;
    EXPECT_EQ(SS_COMP, machine.Send(&abort));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(running.event, 3000));
    EXPECT_EQ(SS_ABORTED, running.srb.SRB_Status);
    EXPECT_EQ(1, machine.CancelIoExCalls());
    std::vector<SimRequestRecord> requests = machine.Requests();
    ASSERT_EQ(1u, requests.size()) << "the queued INQUIRY never reached the drive";
    EXPECT_EQ(0x00, requests[0].cdb[0]);
}

// A call that the system keeps past its abort holds the drive until its own time-out:
// the requests queued behind it end as busy when its block is given back, and those sent
// until it ends are refused at once, none of them reaching the drive. A call that the
// abort ends holds nothing up.
TEST_F(PassThroughLayerTest, KeptCallEndsTheRequestsBehindIt)
{
    const struct {
        const char* name;
        bool cancelEnds;
        uint8_t queuedEnds;
        uint32_t nextSent;
        uint8_t nextEnds;
        size_t reachedDrive;
    } cases[] = {
        {"the driver keeps the call", false, SS_ASPI_IS_BUSY, SS_ASPI_IS_BUSY, SS_ASPI_IS_BUSY, 1},
        {"the cancel ends the call", true, SS_COMP, SS_PENDING, SS_COMP, 3},
    };
    const std::vector<uint8_t> probe = {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40, 0};
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Use("adapters 1\ndevice 0 1 rvx\nfault 0 1 probe hang count 1\n",
                                    {CdromDrive('D', 0, 1)}));
        machine.cancelEnds = c.cancelEnds;
        ASSERT_EQ(0x0101u, machine.SupportInfo());
        Request held(0, 1, probe, SRB_EVENT_NOTIFY, 0);
        Request queued(0, 1, probe, SRB_EVENT_NOTIFY, 0);
        ASSERT_EQ(SS_PENDING, machine.Send(&held.srb)) << c.name;
        for (int i = 0; i < 300 && machine.HungCount() == 0; ++i)
            Sleep(10);
        ASSERT_EQ(1u, machine.HungCount()) << c.name;
        ASSERT_EQ(SS_PENDING, machine.Send(&queued.srb)) << c.name;

        SRB_Abort abort;
        std::memset(&abort, 0, sizeof abort);
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_ToAbort = &held.srb;
        EXPECT_EQ(SS_COMP, machine.Send(&abort)) << c.name;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held.event, 3000)) << c.name;
        EXPECT_EQ(SS_ABORTED, held.srb.SRB_Status) << c.name;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(queued.event, 3000)) << c.name;
        EXPECT_EQ(c.queuedEnds, queued.srb.SRB_Status) << c.name;

        Request next(0, 1, probe, SRB_EVENT_NOTIFY, 0);
        uint32_t sent = machine.Send(&next.srb);
        if (sent == SS_PENDING)
            WaitForSingleObject(next.event, 3000);
        EXPECT_EQ(c.nextSent, sent) << c.name;
        EXPECT_EQ(c.nextEnds, next.srb.SRB_Status) << c.name;
        EXPECT_EQ(c.reachedDrive, machine.Requests().size()) << c.name;

        // The call ends (its time-out); the adapter takes requests again.
        machine.ReleaseHung(false);
        Request after(0, 1, probe, SRB_EVENT_NOTIFY, 0);
        uint8_t status = after.Run(SendThroughMachine);
        for (int i = 0; i < 100 && status == SS_ASPI_IS_BUSY; ++i) {
            Sleep(10);
            status = after.Run(SendThroughMachine);
        }
        EXPECT_EQ(SS_COMP, status) << c.name;
        EXPECT_EQ(c.reachedDrive + 1, machine.Requests().size()) << c.name;
    }
}

// The downloader's own time-out on a pass-through call that never returns: the layer
// hands the block back with SS_ABORTED within the downloader's grace, and does not touch
// it again even when the drive answers later.
TEST_F(PassThroughLayerTest, NeverReturningCallEndsInTheDownloadersTimeOut)
{
    const struct {
        const char* name;
        bool offerCancelIoEx;
        bool cancelEnds;
    } cases[] = {
        {"CancelIoEx, driver keeps the request", true, false},
        {"CancelIo from the worker, driver ends it", false, true},
    };
    const uint8_t inquiry[12] = {0x12, 0, 0, 0, 36};
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Use("adapters 1\ndevice 0 1 rvx\nfault 0 1 inquiry hang count 1\n",
                                    {CdromDrive('D', 0, 1)}));
        machine.offerCancelIoEx = c.offerCancelIoEx;
        machine.cancelEnds = c.cancelEnds;
        LayerRedirect redirect(GetModuleHandleA(nullptr));
        ASSERT_TRUE(redirect.IsActive());
        ScsiDevice device(65545);
        ASSERT_EQ(1, device.GetAdapterCount()) << c.name;
        device.SetAdapter(0).SetTarget(1);
        SetPendingTimeout(device, 300);
        std::memset(device.DataBuffer(), 0x11, 64);
        device.SetCommandBlock(inquiry, SRB_DIR_IN, 36);
        EXPECT_EQ(0, device.ExecuteCommand()) << c.name;
        EXPECT_EQ(1, device.IsTimedOut()) << c.name;
        EXPECT_EQ(0, device.IsRequestHeld()) << c.name << ": the layer gave the block back";
        EXPECT_EQ(SS_ABORTED, device.RequestBlock().SRB_Status) << c.name;
        if (c.offerCancelIoEx) {
            EXPECT_EQ(1, machine.CancelIoExCalls()) << c.name;
        } else {
            EXPECT_EQ(1, machine.CancelIoCalls()) << c.name;
            EXPECT_EQ(machine.cancelledThread, machine.cancelThread)
                << c.name << ": CancelIo from the thread that issued the call";
        }

        SRB_ExecSCSICmd before = device.RequestBlock();
        std::vector<uint8_t> data(device.DataBuffer(), device.DataBuffer() + 64);
        machine.ReleaseHung(true);
        Sleep(300);
        EXPECT_EQ(0, std::memcmp(&before, &device.RequestBlock(), sizeof before)) << c.name;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), device.DataBuffer())) << c.name;

        // The adapter goes on with the next command.
        SetPendingTimeout(device, 5000);
        EXPECT_EQ(1, device.ExecuteCommand()) << c.name;
        EXPECT_EQ(0x05, device.DataBuffer()[0]) << c.name;
    }
}

// SC_GETSET_TIMEOUTS: a time-out set for a device is what the system gets with each of
// its commands, in place of the layer's choice by kind of command; reading names one
// device.
TEST_F(PassThroughLayerTest, TimeOutsSetByTheCaller)
{
    ASSERT_NO_FATAL_FAILURE(Use("adapters 2\ndevice 0 1 rvx\ndevice 1 0 cdrom A B C\n",
                                {CdromDrive('D', 0, 1), CdromDrive('E', 1, 0)}));
    ASSERT_EQ(2u, machine.SupportInfo() & 0xFF);
    SendFn send = SendThroughMachine;
    const uint8_t kAll = 0xFF;
    const struct {
        const char* name;
        uint8_t flags, haId, target, lun;
        uint32_t seconds;
        uint8_t status;
        uint32_t secondsAfter; // SRB_Timeout after the call
    } steps[] = {
        {"read before any set: the layer chooses", SRB_DIR_IN, 0, 1, 0, 77, SS_COMP, 0},
        {"set for every device", SRB_DIR_OUT, kAll, kAll, kAll, 20, SS_COMP, 20},
        {"set for the first", SRB_DIR_OUT, 0, 1, 0, 5, SS_COMP, 5},
        {"read the first", SRB_DIR_IN, 0, 1, 0, 0, SS_COMP, 5},
        {"read the second", SRB_DIR_IN, 1, 0, 0, 0, SS_COMP, 20},
        {"read with a wildcard", SRB_DIR_IN, kAll, 1, 0, 9, SS_INVALID_SRB, 9},
        {"no direction", 0, 0, 1, 0, 9, SS_INVALID_SRB, 9},
        {"no such adapter", SRB_DIR_OUT, 2, 0, 0, 9, SS_INVALID_HA, 9},
        {"no such target", SRB_DIR_OUT, 0, 3, 0, 9, SS_NO_DEVICE, 9},
    };
    for (const auto& step : steps) {
        SRB_GetSetTimeouts srb;
        std::memset(&srb, 0, sizeof srb);
        srb.SRB_Cmd = SC_GETSET_TIMEOUTS;
        srb.SRB_Flags = step.flags;
        srb.SRB_HaId = step.haId;
        srb.SRB_Target = step.target;
        srb.SRB_Lun = step.lun;
        srb.SRB_Timeout = step.seconds;
        EXPECT_EQ(step.status, send(&srb)) << step.name;
        EXPECT_EQ(step.status, srb.SRB_Status) << step.name;
        EXPECT_EQ(step.secondsAfter, srb.SRB_Timeout) << step.name;
    }
    Request first(0, 1, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN | SRB_EVENT_NOTIFY, 36);
    Request second(1, 0, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN | SRB_EVENT_NOTIFY, 36);
    EXPECT_EQ(SS_COMP, first.Run(send));
    EXPECT_EQ(SS_COMP, second.Run(send));
    EXPECT_EQ((std::vector<uint32_t>{5, 20}), machine.TimeOuts());

    // The process's layer serves the next test: back to its own choice.
    SRB_GetSetTimeouts reset;
    std::memset(&reset, 0, sizeof reset);
    reset.SRB_Cmd = SC_GETSET_TIMEOUTS;
    reset.SRB_Flags = SRB_DIR_OUT;
    reset.SRB_HaId = reset.SRB_Target = reset.SRB_Lun = kAll;
    EXPECT_EQ(SS_COMP, send(&reset));
}

// Without administrator rights the drive opens for reading only: it is listed, marked
// "ro", and a command that writes never reaches it.
TEST_F(PassThroughLayerTest, AccessDeniedOpensReadOnly)
{
    MachineDrive drive = CdromDrive('D', 0, 1);
    drive.denyWrite = true;
    ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {drive}));
    ASSERT_EQ(0x0101u, machine.SupportInfo());
    std::vector<MachineOpen> opens = machine.Opens();
    ASSERT_EQ(2u, opens.size());
    EXPECT_EQ(DWORD(GENERIC_READ), opens[1].access);
    SRB_HAInquiry inquiry;
    std::memset(&inquiry, 0, sizeof inquiry);
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    ASSERT_EQ(SS_COMP, machine.Send(&inquiry));
    EXPECT_EQ("SPTI D: ro      ", Text(inquiry.HA_Identifier, 16));
    EXPECT_EQ(0x01, inquiry.HA_Unique[8]) << "the layer's read-only flag";

    Request write(0, 1, {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 2, 0, 0x40, 0},
                  SRB_DIR_OUT | SRB_EVENT_NOTIFY, 63490);
    EXPECT_EQ(SS_ERR, machine.Send(&write.srb));
    EXPECT_EQ(SS_ERR, write.srb.SRB_Status);
    // Windows refuses pass-through on such a handle; the caller sees a plain failure.
    Request tur(0, 1, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
    EXPECT_EQ(SS_ERR, tur.Run(&SendThroughMachine));
    EXPECT_EQ(0, tur.srb.SRB_HaStat);
    EXPECT_TRUE(machine.Requests().empty());
}

// What Windows answers instead of the drive, and what the caller sees.
TEST_F(PassThroughLayerTest, WindowsErrorsOfTheCall)
{
    const struct {
        const char* name;
        DWORD error;
        int count;
        uint8_t status, hostStatus;
        size_t opens; // of the letter, the first at discovery
        size_t reachDrive;
    } cases[] = {
        {"command time-out", ERROR_SEM_TIMEOUT, 1, SS_ERR, HASTAT_COMMAND_TIMEOUT, 1, 0},
        {"device error", ERROR_IO_DEVICE, 1, SS_ERR, 0, 1, 0},
        {"stale handle, reopened", ERROR_INVALID_HANDLE, 1, SS_COMP, 0, 2, 1},
        {"media changed, reopened", ERROR_MEDIA_CHANGED, 1, SS_COMP, 0, 2, 1},
        {"media changed twice: one reopen only", ERROR_MEDIA_CHANGED, 2, SS_ERR, 0, 2, 0},
    };
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {CdromDrive('D', 0, 1)}));
        ASSERT_EQ(0x0101u, machine.SupportInfo());
        machine.FailPassThrough(c.error, c.count);
        Request tur(0, 1, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
        EXPECT_EQ(c.status, tur.Run(&SendThroughMachine)) << c.name;
        EXPECT_EQ(c.hostStatus, tur.srb.SRB_HaStat) << c.name;
        EXPECT_EQ(c.opens, machine.Opens().size()) << c.name;
        EXPECT_EQ(c.reachDrive, machine.Requests().size()) << c.name;
    }
}

// A new medium between two commands: the second gets a new handle and reaches the drive.
TEST_F(PassThroughLayerTest, MediumChangeBetweenTwoCommands)
{
    ASSERT_NO_FATAL_FAILURE(Use(kOneRvx, {CdromDrive('D', 0, 1)}));
    ASSERT_EQ(0x0101u, machine.SupportInfo());
    Request first(0, 1, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
    EXPECT_EQ(SS_COMP, first.Run(&SendThroughMachine));
    machine.ChangeMedium('D');
    Request second(0, 1, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN | SRB_EVENT_NOTIFY, 36);
    EXPECT_EQ(SS_COMP, second.Run(&SendThroughMachine));
    EXPECT_EQ(0x05, second.data[0]);
    EXPECT_EQ(2u, machine.Opens().size());
    EXPECT_EQ(1, machine.DeviceHandlesClosed()) << "the stale handle is closed";
    EXPECT_EQ(2u, machine.Requests().size());
}

// Wine's own drives of the test prefix: its CD-ROM letters are folders, not devices.
// No adapters, or adapters whose commands fail with a final status; no hang.
TEST(PassThroughLayerOnWine, FolderDrivesGiveAClearStatus)
{
    HMODULE layer = LoadLibraryA("sptiplain.dll");
    ASSERT_NE(nullptr, layer);
    typedef uint32_t (*InfoFn)();
    InfoFn info = reinterpret_cast<InfoFn>(
        reinterpret_cast<void*>(GetProcAddress(layer, MAKEINTRESOURCEA(1))));
    SendFn send = reinterpret_cast<SendFn>(
        reinterpret_cast<void*>(GetProcAddress(layer, MAKEINTRESOURCEA(2))));
    ASSERT_TRUE(info != nullptr && send != nullptr);
    uint32_t support = info();
    uint32_t status = (support >> 8) & 0xFF;
    ASSERT_TRUE(status == SS_COMP || status == SS_NO_ADAPTERS) << std::hex << support;
    for (uint32_t ha = 0; status == SS_COMP && ha < (support & 0xFF); ++ha) {
        SRB_GDEVBlock query;
        std::memset(&query, 0, sizeof query);
        query.SRB_Cmd = SC_GET_DEV_TYPE;
        query.SRB_HaId = static_cast<uint8_t>(ha);
        ASSERT_EQ(SS_COMP, send(&query)) << "adapter " << ha;
        Request inquiry(static_cast<uint8_t>(ha), query.SRB_Target, {0x12, 0, 0, 0, 36, 0},
                        SRB_DIR_IN | SRB_EVENT_NOTIFY, 36);
        uint8_t final = inquiry.Run(send, 15000);
        EXPECT_NE(SS_PENDING, final) << "adapter " << ha << " never answered";
        EXPECT_TRUE(final == SS_ERR || final == SS_COMP)
            << "adapter " << ha << " status " << int(final);
    }
    FreeLibrary(layer);
}

} // namespace

// Windows 9x has its own ASPI: the layer shows no adapters and does not look for drives.
TEST(Win9xPassThroughLayer, ReportsNoAdapters)
{
    PassThroughMachine& machine = PassThroughMachine::Get();
    ASSERT_EQ("", machine.Ready());
    ASSERT_EQ("", machine.Configure(kOneRvx, {CdromDrive('D', 0, 1)}));
    EXPECT_EQ(0xE800u, machine.SupportInfo());
    SRB_HAInquiry inquiry;
    std::memset(&inquiry, 0xCC, sizeof inquiry);
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(SS_INVALID_HA, machine.Send(&inquiry));
    EXPECT_EQ(0, inquiry.HA_Count);
    Request tur(0, 1, {0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, 0);
    EXPECT_EQ(SS_INVALID_HA, machine.Send(&tur.srb));
    EXPECT_EQ(0, machine.DriveTypeQueries());
    EXPECT_TRUE(machine.Opens().empty());
}
