// The adapters' queue that our WNASPI32.dll and rvxflash's layer share, run once for each
// kind of request (Windows' pass-through, Linux's SG_IO) against a stand-in system whose
// calls the test holds, releases and cancels: the order of the calls, the refusals, an
// abort of a queued request, of a call the system cancels, and of one it keeps.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AdapterQueue.h"
#include "AspiBlocks.h"
#include "PassThroughRequest.h"
#include "SgRequest.h"

namespace {

using AspiBlocks::Settled;

// A system whose calls wait while the test holds them; a cancel ends a held call when the
// system honours it, with the kind's word for a cancelled call.
class StandInSystem : public AdapterSystem {
public:
    enum Kind { kPassThrough, kSgIo };

    StandInSystem(Kind kind, bool cancelHonoured, uint32_t graceMs)
        : kind(kind), cancelHonoured(cancelHonoured), graceMs(graceMs), queue(*this)
    {
        AdapterQueue::Address addresses[2] = {{1, 0, false}, {0, 0, true}};
        std::lock_guard<std::mutex> guard(lock);
        queue.SetAdapters(addresses, 2);
    }
    ~StandInSystem()
    {
        Release();
        queue.Close();
        for (std::thread& worker : workers)
            worker.join();
    }

    AdapterCall* NewCall() override
    {
        if (kind == kPassThrough)
            return new PassThroughRequest();
        return new SgRequest();
    }
    void Prepare(int) override { cancelled = false; }
    void Run(int, AdapterCall& call) override
    {
        std::unique_lock<std::mutex> guard(lock);
        began.push_back(call.Cdb()[0]);
        changed.notify_all();
        changed.wait(guard, [&] { return !holding || (cancelled && cancelHonoured); });
        bool byCancel = holding;
        if (kind == kPassThrough) {
            static_cast<PassThroughRequest&>(call).Ended(
                byCancel ? PassThroughRequest::kErrorOperationAborted : 0, 0);
        } else {
            SgRequest& request = static_cast<SgRequest&>(call);
            request.Header().hostStatus = byCancel ? 0x05 : 0; // DID_ABORT
            request.Ended(0);
        }
    }
    void Cancel(int) override
    {
        cancelled = true;
        changed.notify_all();
    }
    uint32_t CancelGraceMs() const override { return graceMs; }
    uint32_t TimeoutSeconds(int) override { return 0; }
    bool StartWorker(int adapter) override
    {
        if (noWorker)
            return false;
        workers.emplace_back([this, adapter] { queue.Work(adapter); });
        return true;
    }
    void Notify(uint8_t, void*, SRB_ExecSCSICmd*) override { ++notified; }
    void Lock() override { lock.lock(); }
    void Unlock() override { lock.unlock(); }
    void Pause(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    void Hold()
    {
        std::lock_guard<std::mutex> guard(lock);
        holding = true;
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(lock);
        holding = false;
        changed.notify_all();
    }
    // The operation codes of the calls begun so far, after waiting (5 s at most) for count.
    std::vector<uint8_t> Began(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, std::chrono::seconds(5), [&] { return began.size() >= count; });
        return began;
    }
    uint32_t Send(SRB_ExecSCSICmd& srb) { return queue.Execute(&srb); }
    uint32_t Abort(SRB_ExecSCSICmd& srb)
    {
        SRB_Abort abort = AspiBlocks::Abort(srb);
        return queue.Abort(&abort);
    }

    Kind kind;
    bool cancelHonoured;
    uint32_t graceMs;
    bool noWorker = false;
    int notified = 0;
    AdapterQueue queue;

private:
    std::mutex lock;
    std::condition_variable changed;
    bool holding = false;
    bool cancelled = false;
    std::vector<uint8_t> began;
    std::vector<std::thread> workers;
};

SRB_ExecSCSICmd Command(uint8_t opcode, uint8_t adapter = 0, uint8_t target = 1)
{
    return AspiBlocks::Execute(adapter, target, opcode, SRB_DIR_IN, 0, nullptr);
}

typedef std::vector<uint8_t> Codes;

TEST(AdapterQueue, TheRulesForBothKindsOfRequest)
{
    uint8_t data[4] = {};
    const struct {
        const char* name;
        bool cancelHonoured;
        uint32_t graceMs;
        std::function<void(StandInSystem&)> run;
    } cases[] = {
        {"one at a time, in order", true, 1000,
         [](StandInSystem& system) {
             system.Hold();
             SRB_ExecSCSICmd first = Command(0x12), second = Command(0x00);
             EXPECT_EQ(SS_PENDING, system.Send(first));
             EXPECT_EQ(SS_PENDING, system.Send(second));
             EXPECT_EQ(Codes{0x12}, system.Began(1)) << "the second waits for the first";
             system.Release();
             EXPECT_EQ((Codes{0x12, 0x00}), system.Began(2));
             EXPECT_EQ(SS_COMP, Settled(first));
             EXPECT_EQ(SS_COMP, Settled(second));
         }},
        {"refused at once", true, 1000,
         [&](StandInSystem& system) {
             SRB_ExecSCSICmd noAdapter = Command(0x00, 2), noDevice = Command(0x00, 0, 0);
             SRB_ExecSCSICmd readOnly =
                 AspiBlocks::Execute(1, 0, 0x2A, SRB_DIR_OUT, sizeof data, data);
             SRB_ExecSCSICmd badLength = Command(0x00);
             badLength.SRB_CDBLen = 8;
             EXPECT_EQ(SS_INVALID_HA, system.Send(noAdapter));
             EXPECT_EQ(SS_NO_DEVICE, system.Send(noDevice));
             EXPECT_EQ(SS_ERR, system.Send(readOnly)) << "data out on a read-only adapter";
             EXPECT_EQ(SS_INVALID_SRB, system.Send(badLength));
             system.noWorker = true;
             SRB_ExecSCSICmd noWorker = Command(0x00);
             EXPECT_EQ(SS_INSUFFICIENT_RESOURCES, system.Send(noWorker));
             SRB_ExecSCSICmd unknown = Command(0x00);
             unknown.SRB_Cmd = 0x07;
             EXPECT_EQ(SS_INVALID_CMD,
                       AdapterQueue::RefuseUnknown(reinterpret_cast<SRB_Header*>(&unknown)));
             EXPECT_EQ(SS_INVALID_CMD, unknown.SRB_Status);
             EXPECT_EQ(Codes{}, system.Began(0)) << "nothing reached the system";
         }},
        {"a queued request taken back", true, 1000,
         [](StandInSystem& system) {
             system.Hold();
             SRB_ExecSCSICmd running = Command(0x1B), queued = Command(0x12);
             system.Send(running);
             system.Send(queued);
             system.Began(1);
             EXPECT_EQ(SS_COMP, system.Abort(queued));
             EXPECT_EQ(SS_ABORTED, queued.SRB_Status);
             EXPECT_EQ(SS_ABORT_FAIL, system.Abort(queued)) << "a block handed back";
             system.Release();
             EXPECT_EQ(SS_COMP, Settled(running));
             SRB_ExecSCSICmd next = Command(0x00);
             system.Send(next);
             EXPECT_EQ(SS_COMP, Settled(next));
             EXPECT_EQ((Codes{0x1B, 0x00}), system.Began(2)) << "the aborted request never ran";
         }},
        {"a running call the system cancels", true, 1000,
         [](StandInSystem& system) {
             system.Hold();
             SRB_ExecSCSICmd running = Command(0x1B);
             system.Send(running);
             system.Began(1);
             EXPECT_EQ(SS_COMP, system.Abort(running));
             EXPECT_EQ(SS_ABORTED, Settled(running)) << "handed back with the call's end";
             EXPECT_FALSE(system.queue.HoldsCalls());
             SRB_ExecSCSICmd next = Command(0x00);
             EXPECT_EQ(SS_PENDING, system.Send(next));
             system.Release();
             EXPECT_EQ(SS_COMP, Settled(next));
         }},
        {"a running call the system keeps", false, 30,
         [](StandInSystem& system) {
             system.Hold();
             SRB_ExecSCSICmd kept = Command(0x1B), behind = Command(0x12),
                             other = Command(0x00, 1, 0);
             system.Send(kept);
             system.Send(behind);
             system.Began(1);
             EXPECT_EQ(SS_COMP, system.Abort(kept));
             EXPECT_EQ(SS_ABORTED, kept.SRB_Status) << "handed back after the grace";
             EXPECT_EQ(SS_ASPI_IS_BUSY, behind.SRB_Status) << "queued behind the kept call";
             EXPECT_TRUE(system.queue.HoldsCalls());
             SRB_ExecSCSICmd meanwhile = Command(0x00);
             EXPECT_EQ(SS_ASPI_IS_BUSY, system.Send(meanwhile));
             EXPECT_EQ(SS_PENDING, system.Send(other)) << "another adapter takes requests";
             kept.SRB_Status = 0x77;
             system.Release();
             EXPECT_EQ(SS_COMP, Settled(other));
             for (int i = 0; i < 500 && system.queue.HoldsCalls(); ++i)
                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
             EXPECT_FALSE(system.queue.HoldsCalls());
             EXPECT_EQ(0x77, kept.SRB_Status) << "the kept call's block was written again";
             SRB_ExecSCSICmd after = Command(0x00);
             EXPECT_EQ(SS_PENDING, system.Send(after));
             EXPECT_EQ(SS_COMP, Settled(after));
             EXPECT_EQ((Codes{0x1B, 0x00, 0x00}), system.Began(3));
         }},
    };
    for (StandInSystem::Kind kind : {StandInSystem::kPassThrough, StandInSystem::kSgIo}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(
                std::string(kind == StandInSystem::kPassThrough ? "pass-through: " : "SG_IO: ") +
                c.name);
            StandInSystem system(kind, c.cancelHonoured, c.graceMs);
            c.run(system);
        }
    }
}

} // namespace
