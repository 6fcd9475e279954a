// The SG_IO layer's adapters: accepting, queueing, running and aborting execute requests.
#include "SgAspiLayer.h"

#include <new>
#include <system_error>

SgAspiLayer::SgAspiLayer(SgTransport& transport, const std::vector<uint8_t>& targets)
    : transport(transport), stopping(false), started(true), driveGone(false)
{
    for (size_t i = 0; i < targets.size() && i < kMaxAdapters; ++i) {
        std::unique_ptr<Adapter> adapter(new Adapter());
        adapter->target = targets[i] < 8 ? targets[i] : 0;
        adapter->running = nullptr;
        adapters.push_back(std::move(adapter));
    }
    // std::thread says with an exception that no thread could be had (a process or user
    // at its limit): the adapter then refuses every request, and Started says so.
    for (size_t i = 0; i < adapters.size(); ++i) {
        try {
            adapters[i]->worker = std::thread(&SgAspiLayer::RunAdapter, this, static_cast<int>(i));
        } catch (const std::system_error&) {
            started = false;
        }
    }
}

SgAspiLayer::~SgAspiLayer()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    for (auto& adapter : adapters) {
        if (adapter->worker.joinable())
            adapter->worker.join();
        for (Request* request : adapter->queue)
            delete request;
    }
}

uint32_t SgAspiLayer::SupportInfo()
{
    if (adapters.empty())
        return SS_NO_ADAPTERS << 8;
    return (SS_COMP << 8) | static_cast<uint32_t>(adapters.size());
}

bool SgAspiLayer::DriveGone() const
{
    std::lock_guard<std::mutex> guard(lock);
    return driveGone;
}

std::string SgAspiLayer::GoneWord() const
{
    std::lock_guard<std::mutex> guard(lock);
    return goneWord;
}

bool SgAspiLayer::HoldsCalls() const
{
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& adapter : adapters) {
        if (adapter->running != nullptr && adapter->running->handedBack)
            return true;
    }
    return false;
}

uint32_t SgAspiLayer::Send(void* request)
{
    if (request == nullptr)
        return SS_INVALID_SRB;
    SRB_Header* header = static_cast<SRB_Header*>(request);
    switch (header->SRB_Cmd) {
    case SC_EXEC_SCSI_CMD:
        return Execute(static_cast<SRB_ExecSCSICmd*>(request));
    case SC_ABORT_SRB:
        return Abort(static_cast<SRB_Abort*>(request));
    }
    header->SRB_Status = SS_INVALID_CMD;
    return SS_INVALID_CMD;
}

uint32_t SgAspiLayer::Execute(SRB_ExecSCSICmd* srb)
{
    uint8_t status = SS_PENDING;
    Request* request = nullptr;
    size_t index = srb->SRB_HaId;
    if (index >= adapters.size()) {
        status = SS_INVALID_HA;
    } else if (srb->SRB_Target != adapters[index]->target || srb->SRB_Lun != 0) {
        // The drive is the adapter's only device.
        status = SS_NO_DEVICE;
    } else if (!adapters[index]->worker.joinable() ||
               (request = new (std::nothrow) Request()) == nullptr) {
        status = SS_INSUFFICIENT_RESOURCES;
    } else if (!request->sg.Build(*srb, 0)) {
        status = request->sg.Refusal();
    }
    if (status != SS_PENDING) {
        delete request;
        PassThroughBlock::StoreStatus(srb, status);
        return status;
    }
    request->srb = srb;
    request->handedBack = false;
    // Pending before the adapter's thread can see the request, which may end it at once.
    PassThroughBlock::StoreStatus(srb, SS_PENDING);
    {
        std::lock_guard<std::mutex> guard(lock);
        Adapter& adapter = *adapters[index];
        if (adapter.running != nullptr && adapter.running->handedBack)
            status = SS_ASPI_IS_BUSY;
        else
            adapter.queue.push_back(request);
    }
    if (status != SS_PENDING) {
        delete request;
        PassThroughBlock::StoreStatus(srb, status);
        return status;
    }
    wake.notify_all();
    return SS_PENDING;
}

uint32_t SgAspiLayer::Abort(SRB_Abort* srb)
{
    Request* queued = nullptr;
    SRB_ExecSCSICmd* running = nullptr;
    std::deque<Request*> behind; // queued behind a call the kernel keeps
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& adapter : adapters) {
            for (auto it = adapter->queue.begin(); it != adapter->queue.end(); ++it) {
                if ((*it)->srb == srb->SRB_ToAbort) {
                    queued = *it;
                    adapter->queue.erase(it);
                    break;
                }
            }
            Request* call = adapter->running;
            if (queued == nullptr && call != nullptr && call->srb == srb->SRB_ToAbort &&
                !call->handedBack) {
                // The kernel keeps the call; the caller gets its block back now and never
                // hears of this request again.
                call->handedBack = true;
                running = call->srb;
                behind.swap(adapter->queue);
            }
            if (queued != nullptr || running != nullptr)
                break;
        }
    }
    if (queued != nullptr) {
        PassThroughBlock::CompleteAborted(queued->srb);
        delete queued;
    }
    if (running != nullptr)
        PassThroughBlock::CompleteAborted(running);
    for (Request* request : behind) {
        PassThroughBlock::StoreStatus(request->srb, SS_ASPI_IS_BUSY);
        delete request;
    }
    uint8_t status = queued != nullptr || running != nullptr ? SS_COMP : SS_ABORT_FAIL;
    srb->SRB_Status = status;
    return status;
}

void SgAspiLayer::RunAdapter(int index)
{
    Adapter& adapter = *adapters[index];
    for (;;) {
        Request* request = nullptr;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [&] { return stopping || !adapter.queue.empty(); });
            // Ending: a request still queued has no caller waiting for it.
            if (stopping)
                return;
            request = adapter.queue.front();
            adapter.queue.pop_front();
            adapter.running = request;
        }
        int error = transport.Run(index, request->sg.Header());
        bool handBack = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            handBack = !request->handedBack;
            request->handedBack = true;
            adapter.running = nullptr;
        }
        // From here no one else holds the request.
        std::string said;
        if (handBack && request->sg.Complete(request->srb, error, said)) {
            std::lock_guard<std::mutex> guard(lock);
            driveGone = true;
            goneWord = said;
        }
        delete request;
    }
}
