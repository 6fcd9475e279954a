// The simulated wnaspi32.dll as a caller of ASPI for Win32 sees it: return values,
// SRB_Status, completion events, abort, and the control exports.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "layer/SimControl.h"
#include "scsi/AspiTypes.h"

namespace {

// Waits are bounded: a request the layer fails to complete ends the test, not the run.
const DWORD kWaitMs = 5000;

struct Request {
    SRB_ExecSCSICmd srb;
    HANDLE event;
    std::vector<uint8_t> buffer;
};

template <typename Fn> Fn Bind(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The layer, bound as the library binds it (ordinals 1 and 2) plus its control exports.
// Owns the request blocks it builds, and outlives them in the layer: on destruction it
// reconfigures, which hands back whatever is still pending, before freeing them.
class Layer {
public:
    Layer() : module(LoadLibraryA("wnaspi32.dll"))
    {
        if (module == nullptr)
            return;
        supportInfo = Bind<SimGetSupportInfoFn>(module, MAKEINTRESOURCEA(1));
        send = Bind<SimSendCommandFn>(module, MAKEINTRESOURCEA(2));
        configure = Bind<SimConfigureFn>(module, "SimConfigure");
        lastError = Bind<SimLastErrorFn>(module, "SimLastError");
        requestCount = Bind<SimRequestCountFn>(module, "SimRequestCount");
        getRequest = Bind<SimGetRequestFn>(module, "SimGetRequest");
        getDataOut = Bind<SimGetDataOutFn>(module, "SimGetDataOut");
        clearLog = Bind<SimClearLogFn>(module, "SimClearLog");
        pendingCount = Bind<SimPendingCountFn>(module, "SimPendingCount");
        releaseHeld = Bind<SimReleaseHeldFn>(module, "SimReleaseHeld");
        getDeviceInfo = Bind<SimGetDeviceInfoFn>(module, "SimGetDeviceInfo");
        bound = supportInfo && send && configure && lastError && requestCount && getRequest &&
                getDataOut && clearLog && pendingCount && releaseHeld && getDeviceInfo;
    }

    ~Layer()
    {
        if (bound)
            configure("");
        for (auto& r : requests)
            CloseHandle(r->event);
        if (module != nullptr)
            FreeLibrary(module);
    }

    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    Request* Build(std::vector<uint8_t> cdb, uint8_t flags, uint32_t bufLen, uint8_t adapter = 0,
                   uint8_t target = 0)
    {
        requests.push_back(std::unique_ptr<Request>(new Request));
        Request* r = requests.back().get();
        cdb.resize(12, 0);
        r->buffer.assign(bufLen + 16, 0xAA);
        r->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::memset(&r->srb, 0, sizeof r->srb);
        r->srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        r->srb.SRB_Status = 0x77;
        r->srb.SRB_HaId = adapter;
        r->srb.SRB_Flags = flags;
        r->srb.SRB_Target = target;
        r->srb.SRB_BufLen = bufLen;
        r->srb.SRB_BufPointer = r->buffer.data();
        r->srb.SRB_SenseLen = ASPI_SENSE_LEN;
        r->srb.SRB_CDBLen = 12;
        r->srb.SRB_PostProc = r->event;
        std::memcpy(r->srb.CDBByte, cdb.data(), 12);
        return r;
    }

    uint32_t Send(Request* r) { return send(&r->srb); }

    uint32_t Abort(Request* r)
    {
        SRB_Abort abort;
        std::memset(&abort, 0, sizeof abort);
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_HaId = r->srb.SRB_HaId;
        abort.SRB_ToAbort = &r->srb;
        return send(&abort);
    }

    std::vector<SimRequestRecord> Log()
    {
        std::vector<SimRequestRecord> all(requestCount());
        for (size_t i = 0; i < all.size(); ++i)
            getRequest(static_cast<int>(i), &all[i]);
        return all;
    }

    HMODULE module;
    int bound = 0;
    SimGetSupportInfoFn supportInfo = nullptr;
    SimSendCommandFn send = nullptr;
    SimConfigureFn configure = nullptr;
    SimLastErrorFn lastError = nullptr;
    SimRequestCountFn requestCount = nullptr;
    SimGetRequestFn getRequest = nullptr;
    SimGetDataOutFn getDataOut = nullptr;
    SimClearLogFn clearLog = nullptr;
    SimPendingCountFn pendingCount = nullptr;
    SimReleaseHeldFn releaseHeld = nullptr;
    SimGetDeviceInfoFn getDeviceInfo = nullptr;
    std::vector<std::unique_ptr<Request>> requests;
};

const uint8_t kIn = SRB_DIR_IN | SRB_EVENT_NOTIFY;
const uint8_t kOut = SRB_DIR_OUT | SRB_EVENT_NOTIFY;
const std::vector<uint8_t> kInquiry = {0x12, 0, 0, 0, 36};
const std::vector<uint8_t> kTestUnitReady = {0x00};
const std::vector<uint8_t> kUnload = {0x1B, 0, 0, 0, 2};

int Signalled(const Request* r, DWORD waitMs)
{
    return WaitForSingleObject(r->event, waitMs) == WAIT_OBJECT_0;
}

std::string Text(const std::vector<uint8_t>& buffer, int offset, int length)
{
    return std::string(reinterpret_cast<const char*>(buffer.data()) + offset, length);
}

#define ASSERT_BOUND(layer) ASSERT_TRUE((layer).bound) << "wnaspi32.dll is not the simulated layer"

} // namespace

TEST(SimLayerSupportInfo, AdapterCountAndStatus)
{
    Layer layer;
    ASSERT_BOUND(layer);
    struct {
        const char* scenario;
        uint32_t info;
    } cases[] = {
        {"adapters 2\ndevice 1 0 rvx", 0x0102},
        {"adapters 0", 0xE800},
        {"adapters 1\nsupport-status 0x81", 0x8101},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(1, layer.configure(c.scenario)) << layer.lastError();
        EXPECT_EQ(c.info, layer.supportInfo()) << c.scenario;
    }
}

TEST(SimLayerCompletion, PendingThenCompletedWithTheEvent)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 1 rvx revision 1.00"));
    Request* r = layer.Build(kInquiry, kIn, 36, 0, 1);
    EXPECT_EQ(SS_PENDING, layer.Send(r));
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_COMP, r->srb.SRB_Status);
    EXPECT_EQ(0x00, r->srb.SRB_TargStat);
    EXPECT_EQ(0x05, r->buffer[0]);
    EXPECT_EQ("NEMBRIKACD-ROM RVX-4417K1.00", Text(r->buffer, 8, 28));
    EXPECT_EQ(0xAA, r->buffer[36]) << "written past SRB_BufLen";
    EXPECT_EQ(0, layer.pendingCount());

    std::vector<SimRequestRecord> log = layer.Log();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(SC_EXEC_SCSI_CMD, log[0].command);
    EXPECT_EQ(1, log[0].target);
    EXPECT_EQ(kIn, log[0].flags);
    EXPECT_EQ(SS_COMP, log[0].finalStatus);
}

TEST(SimLayerCompletion, CheckConditionLeavesFixedFormatSense)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx\nfault 0 0 unload unit-attention count 2\n"));
    std::vector<uint8_t> statuses;
    for (int i = 0; i < 3; ++i) {
        Request* r = layer.Build(kUnload, kIn, 0);
        ASSERT_EQ(SS_PENDING, layer.Send(r)) << "execution " << i;
        ASSERT_TRUE(Signalled(r, kWaitMs)) << "execution " << i;
        statuses.push_back(r->srb.SRB_Status);
        if (i == 2)
            continue;
        EXPECT_EQ(0x02, r->srb.SRB_TargStat);
        const uint8_t sense[18] = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00};
        EXPECT_EQ(0, std::memcmp(sense, r->srb.SenseArea, 18)) << "execution " << i;
    }
    EXPECT_EQ((std::vector<uint8_t>{SS_ERR, SS_ERR, SS_COMP}), statuses);
}

TEST(SimLayerCompletion, SynchronousModeAnswersInsideTheCall)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("completion sync\ndevice 0 0 rvx\nfault 0 0 tur check 2 3A 0"));
    Request* inquiry = layer.Build(kInquiry, kIn, 36);
    EXPECT_EQ(SS_COMP, layer.Send(inquiry));
    EXPECT_EQ(SS_COMP, inquiry->srb.SRB_Status);
    EXPECT_TRUE(Signalled(inquiry, 0)) << "event not set on return";
    EXPECT_EQ("NEMBRIKA", Text(inquiry->buffer, 8, 8));

    Request* tur = layer.Build(kTestUnitReady, kIn, 0);
    EXPECT_EQ(SS_ERR, layer.Send(tur));
    EXPECT_EQ(SS_ERR, tur->srb.SRB_Status);
    EXPECT_TRUE(Signalled(tur, 0));
    EXPECT_EQ(0x3A, tur->srb.SenseArea[12]);
    EXPECT_EQ(0, layer.pendingCount());
}

TEST(SimLayerCompletion, SenseWithGoodStatus)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx\nfault 0 0 tur sense-with-good"));
    Request* r = layer.Build(kTestUnitReady, kIn, 0);
    ASSERT_EQ(SS_PENDING, layer.Send(r));
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_COMP, r->srb.SRB_Status);
    EXPECT_EQ(0x70, r->srb.SenseArea[0]);
    EXPECT_EQ(0x06, r->srb.SenseArea[2]);
}

TEST(SimLayerCompletion, Windows9xFlagsTakeTheDirectionFromTheCommand)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx"));
    Request* r = layer.Build(kInquiry, SRB_EVENT_NOTIFY, 36);
    ASSERT_EQ(SS_PENDING, layer.Send(r));
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_COMP, r->srb.SRB_Status);
    EXPECT_EQ("NEMBRIKA", Text(r->buffer, 8, 8));
}

TEST(SimLayerCompletion, ManyRequestsInFlightEachGetTheirOwnResult)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("adapters 1\n"
                                 "device 0 0 rvx revision 1.00\n"
                                 "device 0 1 rvx revision 1.01\n"
                                 "device 0 2 rvx revision 1.02\n"
                                 "device 0 3 rvx revision 1.03\n"
                                 "fault 0 1 any delay 40\n"
                                 "fault 0 2 any delay 10\n"));
    std::vector<Request*> sent;
    for (int i = 0; i < 16; ++i) {
        Request* r = layer.Build(kInquiry, kIn, 36, 0, static_cast<uint8_t>(i % 4));
        ASSERT_EQ(SS_PENDING, layer.Send(r));
        sent.push_back(r);
    }
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(Signalled(sent[i], kWaitMs)) << "request " << i;
        EXPECT_EQ(SS_COMP, sent[i]->srb.SRB_Status) << "request " << i;
        EXPECT_EQ("1.0" + std::to_string(i % 4), Text(sent[i]->buffer, 32, 4)) << "request " << i;
    }
    EXPECT_EQ(0, layer.pendingCount());
}

TEST(SimLayerAbort, HangingRequestIsGivenBackAborted)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx\nfault 0 0 tur hang count 1"));
    Request* r = layer.Build(kTestUnitReady, kIn, 0);
    ASSERT_EQ(SS_PENDING, layer.Send(r));
    EXPECT_EQ(SS_PENDING, r->srb.SRB_Status);
    EXPECT_FALSE(Signalled(r, 0));
    EXPECT_EQ(1, layer.pendingCount());

    EXPECT_EQ(SS_COMP, layer.Abort(r));
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_ABORTED, r->srb.SRB_Status);
    EXPECT_EQ(0, layer.pendingCount());
    EXPECT_EQ(SS_ABORT_FAIL, layer.Abort(r)) << "already given back";

    std::vector<SimRequestRecord> log = layer.Log();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(SS_ABORTED, log[0].finalStatus);
    EXPECT_EQ(SC_ABORT_SRB, log[1].command);
    EXPECT_EQ(SS_COMP, log[1].finalStatus);
    EXPECT_EQ(SS_ABORT_FAIL, log[2].finalStatus);

    // The count is spent: the next one completes.
    Request* next = layer.Build(kTestUnitReady, kIn, 0);
    ASSERT_EQ(SS_PENDING, layer.Send(next));
    ASSERT_TRUE(Signalled(next, kWaitMs));
    EXPECT_EQ(SS_COMP, next->srb.SRB_Status);
}

TEST(SimLayerAbort, AbortCutsALongDelayShort)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx\nfault 0 0 tur delay 600000"));
    Request* r = layer.Build(kTestUnitReady, kIn, 0);
    ASSERT_EQ(SS_PENDING, layer.Send(r));
    EXPECT_FALSE(Signalled(r, 0));
    EXPECT_EQ(SS_COMP, layer.Abort(r));
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_ABORTED, r->srb.SRB_Status);
}

TEST(SimLayerAbort, KeptRequestStaysUntilReleased)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx\nfault 0 0 write keep"));
    Request* r = layer.Build({0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, kOut, 63490);
    ASSERT_EQ(SS_PENDING, layer.Send(r));
    EXPECT_EQ(SS_ABORT_FAIL, layer.Abort(r));
    EXPECT_EQ(SS_PENDING, r->srb.SRB_Status);
    EXPECT_FALSE(Signalled(r, 0));
    EXPECT_EQ(1, layer.pendingCount());

    layer.releaseHeld();
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_ABORTED, r->srb.SRB_Status);
    EXPECT_EQ(0, layer.pendingCount());
    SimDeviceInfo info;
    ASSERT_EQ(1, layer.getDeviceInfo(0, 0, &info));
    EXPECT_EQ(0u, info.flashCount);
}

TEST(SimLayerAbort, UnknownRequestCannotBeAborted)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx"));
    Request* never = layer.Build(kTestUnitReady, kIn, 0);
    EXPECT_EQ(SS_ABORT_FAIL, layer.Abort(never));
}

TEST(SimLayerAbort, ReconfiguringHandsBackWhatIsPending)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 0 rvx\nfault 0 0 tur hang\nfault 0 0 unload keep"));
    Request* hung = layer.Build(kTestUnitReady, kIn, 0);
    Request* kept = layer.Build(kUnload, kIn, 0);
    ASSERT_EQ(SS_PENDING, layer.Send(hung));
    ASSERT_EQ(SS_PENDING, layer.Send(kept));
    EXPECT_EQ(2, layer.pendingCount());
    ASSERT_EQ(1, layer.configure("device 0 0 rvx"));
    ASSERT_TRUE(Signalled(hung, kWaitMs));
    ASSERT_TRUE(Signalled(kept, kWaitMs));
    EXPECT_EQ(SS_ABORTED, hung->srb.SRB_Status);
    EXPECT_EQ(SS_ABORTED, kept->srb.SRB_Status);
    EXPECT_EQ(0, layer.pendingCount());
    EXPECT_EQ(0, layer.requestCount());
}

TEST(SimLayerRefusal, AnsweredAtOnceWithoutTheEvent)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("adapters 2\ndevice 0 1 rvx"));
    struct {
        const char* name;
        uint8_t adapter;
        uint8_t target;
        uint8_t status;
    } cases[] = {
        {"adapter 2 of 2", 2, 1, SS_INVALID_HA},
        {"empty target", 0, 0, SS_NO_DEVICE},
        {"empty adapter", 1, 1, SS_NO_DEVICE},
    };
    for (const auto& c : cases) {
        Request* r = layer.Build(kInquiry, kIn, 36, c.adapter, c.target);
        EXPECT_EQ(c.status, layer.Send(r)) << c.name;
        EXPECT_EQ(c.status, r->srb.SRB_Status) << c.name;
        EXPECT_FALSE(Signalled(r, 0)) << c.name;
        EXPECT_EQ(0xAA, r->buffer[0]) << c.name;
    }
    EXPECT_EQ(0, layer.pendingCount());

    SRB_Header other = {SC_HA_INQUIRY, 0x77, 0, 0};
    EXPECT_EQ(SS_INVALID_CMD, layer.send(&other));
    EXPECT_EQ(SS_INVALID_CMD, other.SRB_Status);
    EXPECT_EQ(SS_INVALID_SRB, layer.send(nullptr));
}

TEST(SimLayerRefusal, RefuseAllLeavesTheBlockAlone)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("refuse-all\ndevice 0 0 rvx"));
    Request* r = layer.Build(kInquiry, kIn, 36);
    EXPECT_EQ(SS_INVALID_SRB, layer.Send(r));
    EXPECT_EQ(0x77, r->srb.SRB_Status);
    EXPECT_FALSE(Signalled(r, 0));
}

TEST(SimLayerControl, WriteIsLoggedAndFlashesTheDrive)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("device 0 1 rvx revision 1.00"));
    // Code bytes carrying an identification record with revision 2.00, then their sum.
    std::vector<uint8_t> payload(63488, 0x5A);
    const uint8_t record[36] = {0x05, 0x80, 0x00, 0x21, 0x1F, 0,   0,   0,   'N', 'E', 'M', 'B',
                                'R',  'I',  'K',  'A',  'C',  'D', '-', 'R', 'O', 'M', ' ', 'R',
                                'V',  'X',  '-',  '4',  '4',  '1', '7', 'K', '2', '.', '0', '0'};
    std::memcpy(payload.data() + 0x1234, record, sizeof record);
    uint32_t sum = 0;
    for (uint8_t b : payload)
        sum += b;
    payload.push_back(static_cast<uint8_t>(sum));
    payload.push_back(static_cast<uint8_t>(sum >> 8));

    Request* r = layer.Build({0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, kOut, 63490, 0, 1);
    std::memcpy(r->buffer.data(), payload.data(), payload.size());
    ASSERT_EQ(SS_PENDING, layer.Send(r));
    ASSERT_TRUE(Signalled(r, kWaitMs));
    EXPECT_EQ(SS_COMP, r->srb.SRB_Status);

    std::vector<uint8_t> copy(70000);
    copy.resize(layer.getDataOut(0, copy.data(), static_cast<uint32_t>(copy.size())));
    EXPECT_EQ(payload, copy);
    SimDeviceInfo info;
    ASSERT_EQ(1, layer.getDeviceInfo(0, 1, &info));
    EXPECT_EQ(1u, info.flashCount);
    EXPECT_STREQ("2.00", info.revision);
    EXPECT_EQ(0, layer.getDeviceInfo(0, 2, &info));

    Request* inquiry = layer.Build(kInquiry, kIn, 36, 0, 1);
    ASSERT_EQ(SS_PENDING, layer.Send(inquiry));
    ASSERT_TRUE(Signalled(inquiry, kWaitMs));
    EXPECT_EQ("2.00", Text(inquiry->buffer, 32, 4));

    layer.clearLog();
    EXPECT_EQ(0, layer.requestCount());
    SimRequestRecord none;
    EXPECT_EQ(0, layer.getRequest(0, &none));
}

TEST(SimLayerControl, ParseErrorKeepsTheConfiguration)
{
    Layer layer;
    ASSERT_BOUND(layer);
    ASSERT_EQ(1, layer.configure("adapters 2\ndevice 0 0 rvx"));
    EXPECT_STREQ("", layer.lastError());
    EXPECT_EQ(0, layer.configure("adapters 1\n\nfault 0 0 tur hang\n"));
    EXPECT_STREQ("line 3: no device at adapter 0 target 0 (declare it on an earlier line)",
                 layer.lastError());
    EXPECT_EQ(0x0102u, layer.supportInfo());
}
