// The SG_IO layer's adapters: their threads and calls, over the shared queue.
#include "SgAspiLayer.h"

#include <chrono>
#include <new>
#include <system_error>

SgAspiLayer::SgAspiLayer(SgTransport& transport, const std::vector<uint8_t>& targets)
    : transport(transport), stopping(false), workAsked{}, queue(*this)
{
    AdapterQueue::Address addresses[kMaxAdapters];
    int count = 0;
    for (; count < static_cast<int>(targets.size()) && count < kMaxAdapters; ++count)
        addresses[count] = {static_cast<uint8_t>(targets[count] < 8 ? targets[count] : 0), 0,
                            false};
    {
        std::lock_guard<std::mutex> guard(lock);
        queue.SetAdapters(addresses, count);
    }
    // std::thread says with an exception that no thread could be had (a process or user
    // at its limit): that adapter refuses every request, and Started says so.
    threads.reserve(count);
    for (int i = 0; i < count; ++i) {
        try {
            threads.emplace_back(&SgAspiLayer::RunAdapter, this, i);
        } catch (const std::system_error&) {
            threads.emplace_back();
        }
    }
}

SgAspiLayer::~SgAspiLayer()
{
    queue.Close();
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        if (thread.joinable())
            thread.join();
    }
}

uint32_t SgAspiLayer::SupportInfo()
{
    std::lock_guard<std::mutex> guard(lock);
    if (queue.Count() == 0)
        return SS_NO_ADAPTERS << 8;
    return (SS_COMP << 8) | static_cast<uint32_t>(queue.Count());
}

uint32_t SgAspiLayer::Send(void* request)
{
    if (request == nullptr)
        return SS_INVALID_SRB;
    SRB_Header* header = static_cast<SRB_Header*>(request);
    switch (header->SRB_Cmd) {
    case SC_EXEC_SCSI_CMD:
        return queue.Execute(static_cast<SRB_ExecSCSICmd*>(request));
    case SC_ABORT_SRB:
        return queue.Abort(static_cast<SRB_Abort*>(request));
    }
    return AdapterQueue::RefuseUnknown(header);
}

bool SgAspiLayer::Started() const
{
    for (const std::thread& thread : threads) {
        if (!thread.joinable())
            return false;
    }
    return true;
}

bool SgAspiLayer::DriveGone() const
{
    std::lock_guard<std::mutex> guard(lock);
    return !goneWord.empty();
}

std::string SgAspiLayer::GoneWord() const
{
    std::lock_guard<std::mutex> guard(lock);
    return goneWord;
}

AdapterCall* SgAspiLayer::NewCall()
{
    return new (std::nothrow) SgRequest();
}

// Every call the queue gives is one of the layer's own (NewCall).
void SgAspiLayer::Run(int adapter, AdapterCall& call)
{
    SgRequest& request = static_cast<SgRequest&>(call);
    request.Ended(transport.Run(adapter, request.Header()));
    if (!request.DriveGone())
        return;
    std::lock_guard<std::mutex> guard(lock);
    goneWord = request.Said();
}

bool SgAspiLayer::StartWorker(int adapter)
{
    if (!threads[adapter].joinable())
        return false;
    workAsked[adapter] = true;
    wake.notify_all();
    return true;
}

void SgAspiLayer::Pause(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SgAspiLayer::RunAdapter(int index)
{
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [&] { return stopping || workAsked[index]; });
            if (stopping)
                return;
            workAsked[index] = false;
        }
        queue.Work(index);
    }
}
