// The adapters' requests: accepting, queueing, running, aborting and handing back.
#include "AdapterQueue.h"

#include <new>

namespace {

// How often an abort looks whether a cancelled call has ended, within the grace.
const uint32_t kGivenBackPollMs = 10;

} // namespace

AdapterQueue::AdapterQueue(AdapterSystem& system)
    : system(system), adapters(), count(0), closed(false)
{
}

AdapterQueue::~AdapterQueue()
{
    for (Adapter& adapter : adapters) {
        for (Entry* entry : adapter.queue)
            delete entry;
    }
}

bool AdapterQueue::IsIdle() const
{
    for (int i = 0; i < count; ++i) {
        if (adapters[i].workerActive)
            return false;
    }
    return true;
}

void AdapterQueue::SetAdapters(const Address* addresses, int number)
{
    count = number < kMaxAdapters ? number : kMaxAdapters;
    for (int i = 0; i < count; ++i) {
        Adapter& adapter = adapters[i];
        for (Entry* entry : adapter.queue)
            delete entry;
        adapter.queue.clear();
        adapter.address = addresses[i];
        adapter.running = nullptr;
        adapter.workerActive = false;
    }
}

uint32_t AdapterQueue::RefuseUnknown(SRB_Header* header)
{
    header->SRB_Status = SS_INVALID_CMD;
    return SS_INVALID_CMD;
}

uint32_t AdapterQueue::Execute(SRB_ExecSCSICmd* srb)
{
    Entry* entry = nullptr;
    uint8_t status = SS_PENDING;
    {
        AdapterSystemLock held(system);
        status = Accept(srb, entry);
    }
    if (status == SS_PENDING)
        return SS_PENDING;
    delete entry;
    PassThroughBlock::StoreStatus(srb, status);
    return status;
}

uint8_t AdapterQueue::Accept(SRB_ExecSCSICmd* srb, Entry*& entry)
{
    int index = srb->SRB_HaId;
    if (closed || index >= count)
        return SS_INVALID_HA;
    Adapter& adapter = adapters[index];
    if (srb->SRB_Target != adapter.address.target || srb->SRB_Lun != adapter.address.lun)
        return SS_NO_DEVICE; // the drive is the adapter's only device
    entry = new (std::nothrow) Entry();
    if (entry == nullptr || !(entry->call = std::unique_ptr<AdapterCall>(system.NewCall())))
        return SS_INSUFFICIENT_RESOURCES;
    if (!entry->call->Build(*srb, system.TimeoutSeconds(index)))
        return entry->call->Refusal();
    if (adapter.address.readOnly && entry->call->Direction() == PassThroughBlock::kDataOut) {
        // Remembered from the open: the system refuses to write through this device.
        srb->SRB_HaStat = HASTAT_OK;
        srb->SRB_TargStat = 0;
        return SS_ERR;
    }
    if (adapter.IsKept())
        return SS_ASPI_IS_BUSY;
    entry->srb = srb;
    entry->flags = srb->SRB_Flags;
    entry->postProc = srb->SRB_PostProc;
    entry->handedBack = false;
    // Pending before the worker can see the request, which may end it at once.
    PassThroughBlock::StoreStatus(srb, SS_PENDING);
    adapter.queue.push_back(entry);
    if (!adapter.workerActive) {
        if (!system.StartWorker(index)) {
            adapter.queue.pop_back();
            return SS_INSUFFICIENT_RESOURCES;
        }
        adapter.workerActive = true;
    }
    return SS_PENDING;
}

uint32_t AdapterQueue::Abort(SRB_Abort* srb)
{
    Entry* queued = nullptr;
    int running = -1;
    {
        AdapterSystemLock held(system);
        for (int i = 0; i < count && queued == nullptr && running < 0; ++i) {
            Adapter& adapter = adapters[i];
            for (auto it = adapter.queue.begin(); it != adapter.queue.end(); ++it) {
                if ((*it)->srb == srb->SRB_ToAbort) {
                    queued = *it;
                    adapter.queue.erase(it);
                    break;
                }
            }
            if (queued == nullptr && adapter.running != nullptr &&
                adapter.running->srb == srb->SRB_ToAbort && !adapter.running->handedBack) {
                // The system is asked to end the call; the result follows from there.
                system.Cancel(i);
                running = i;
            }
        }
    }
    if (queued != nullptr) {
        EndWith(*queued, SS_ABORTED);
        delete queued;
    }
    if (running >= 0)
        GiveBackAborted(running, srb->SRB_ToAbort);
    uint8_t status = queued != nullptr || running >= 0 ? SS_COMP : SS_ABORT_FAIL;
    srb->SRB_Status = status;
    return status;
}

void AdapterQueue::GiveBackAborted(int adapter, const void* srb)
{
    for (uint32_t waited = 0; waited < system.CancelGraceMs(); waited += kGivenBackPollMs) {
        if (IsGivenBack(adapter, srb))
            return;
        system.Pause(kGivenBackPollMs);
    }
    HandBackKept(adapter, srb);
}

bool AdapterQueue::IsGivenBack(int adapter, const void* srb)
{
    AdapterSystemLock held(system);
    const Entry* entry = adapters[adapter].running;
    return entry == nullptr || entry->srb != srb || entry->handedBack;
}

void AdapterQueue::HandBackKept(int index, const void* srb)
{
    Entry kept;
    std::deque<Entry*> behind;
    {
        AdapterSystemLock held(system);
        Adapter& adapter = adapters[index];
        Entry* entry = adapter.running;
        if (entry == nullptr || entry->srb != srb || entry->handedBack)
            return; // the worker has handed it back
        entry->handedBack = true;
        kept.srb = entry->srb;
        kept.flags = entry->flags;
        kept.postProc = entry->postProc;
        behind.swap(adapter.queue);
    }
    EndWith(kept, SS_ABORTED);
    for (Entry* busy : behind) {
        EndWith(*busy, SS_ASPI_IS_BUSY);
        delete busy;
    }
}

void AdapterQueue::EndWith(const Entry& entry, uint8_t status)
{
    if (status == SS_ABORTED)
        PassThroughBlock::CompleteAborted(entry.srb);
    else
        PassThroughBlock::StoreStatus(entry.srb, status);
    system.Notify(entry.flags, entry.postProc, entry.srb);
}

bool AdapterQueue::HoldsCalls()
{
    AdapterSystemLock held(system);
    for (int i = 0; i < count; ++i) {
        if (adapters[i].IsKept())
            return true;
    }
    return false;
}

void AdapterQueue::Close()
{
    AdapterSystemLock held(system);
    closed = true;
}

void AdapterQueue::Work(int index)
{
    Adapter& adapter = adapters[index];
    for (;;) {
        Entry* entry = nullptr;
        {
            AdapterSystemLock held(system);
            if (closed || adapter.queue.empty()) {
                adapter.workerActive = false;
                return;
            }
            entry = adapter.queue.front();
            adapter.queue.pop_front();
            adapter.running = entry;
            system.Prepare(index);
        }

        system.Run(index, *entry->call);

        bool handBack = false;
        bool last = false;
        {
            AdapterSystemLock held(system);
            handBack = !entry->handedBack;
            entry->handedBack = true;
            adapter.running = nullptr;
            last = closed || adapter.queue.empty();
            if (last)
                adapter.workerActive = false;
        }
        // Retired before the caller hears of its last request: a caller that asks for the
        // drives right after it finds the layer idle. From here the worker touches only
        // the entry, which no one else holds.
        if (handBack) {
            entry->call->Complete(entry->srb);
            system.Notify(entry->flags, entry->postProc, entry->srb);
        }
        delete entry;
        if (last)
            return;
    }
}
