// kdll-driveserver: serves one drive of a scenario to Linux's SCSI target through its
// user-space backend, so that the kernel presents it as a real SCSI device (with the
// loopback fabric: /dev/srN and /dev/sgN). Logs every command it receives, and keeps the
// data-out bytes of each, for the tests to compare.
//
//   kdll-driveserver --uio /dev/uioN --scenario FILE --log FOLDER [--device A:T]
//
// FOLDER receives commands.txt (ServedDrive's log, a line flushed per event) and
// SEQ.out, the data-out bytes of command SEQ; "ready" is created there once the ring is
// mapped. SIGTERM or SIGINT ends the server.
#include <poll.h>
#include <signal.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ServedDrive.h"
#include "TcmuRing.h"
#include "scsi/ScsiCodes.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStop(int)
{
    stopRequested = 1;
}

uint32_t NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec * 1000u + now.tv_nsec / 1000000);
}

// A command the drive has not answered yet.
struct Waiting {
    TcmuCommand command;
    uint32_t sequence;
    ServedAnswer answer;
    uint32_t dueMs; // for a delayed answer
};

class Server {
public:
    Server(TcmuRing& ring, ServedDrive& drive, const std::string& folder)
        : ring(ring), drive(drive), folder(folder), logged(0)
    {
    }

    int Run();

private:
    void Arrive(const TcmuCommand& command);
    void Answer(const Waiting& waiting);
    void Abort(uint16_t id);
    void FlushLog();
    int NextTimeout() const;

    TcmuRing& ring;
    ServedDrive& drive;
    std::string folder;
    std::vector<Waiting> waiting;
    size_t logged;
};

int Server::Run()
{
    while (!stopRequested) {
        pollfd entry = {ring.Fd(), POLLIN, 0};
        int ready = poll(&entry, 1, NextTimeout());
        if (ready < 0)
            continue; // a signal: look at stopRequested
        std::vector<TcmuCommand> commands;
        std::vector<uint16_t> aborted;
        if (ready > 0 && !ring.Acknowledge()) {
            std::fprintf(stderr, "driveserver: %s\n", ring.error.c_str());
            return 1;
        }
        ring.Take(commands, aborted);
        for (const TcmuCommand& command : commands)
            Arrive(command);
        for (uint16_t id : aborted)
            Abort(id);
        uint32_t now = NowMs();
        for (size_t i = 0; i < waiting.size();) {
            if (waiting[i].answer.timing == ServedAnswer::kDelay &&
                static_cast<int32_t>(now - waiting[i].dueMs) >= 0) {
                drive.Ended(waiting[i].sequence, now, "answered");
                Answer(waiting[i]);
                waiting.erase(waiting.begin() + i);
                continue;
            }
            ++i;
        }
        FlushLog();
        ring.Kick();
    }
    return 0;
}

void Server::Arrive(const TcmuCommand& command)
{
    std::vector<uint8_t> bytes;
    // The direction is not in the ring: the data of the commands that send some (the
    // firmware write) is what the buffers hold.
    int sends = SimDevice::NaturalDirection(command.cdb) == kDirOut && command.transferLength;
    if (sends)
        ring.ReadData(command, bytes);
    Waiting entry;
    entry.command = command;
    entry.sequence = drive.Execute(command.cdb, command.cdbLength, sends ? bytes.data() : nullptr,
                                   command.transferLength, NowMs(), entry.answer);
    entry.dueMs = NowMs() + entry.answer.delayMs;
    if (sends) {
        std::ofstream out(folder + "/" + std::to_string(entry.sequence) + ".out", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    if (entry.answer.timing == ServedAnswer::kNow) {
        Answer(entry);
        return;
    }
    waiting.push_back(entry);
}

void Server::Answer(const Waiting& entry)
{
    const ServedAnswer& answer = entry.answer;
    if (answer.dataInLength != 0)
        ring.WriteData(entry.command, answer.dataIn, answer.dataInLength);
    ring.Complete(entry.command.id, answer.status, answer.sense, answer.senseLength,
                  answer.dataInLength);
}

void Server::Abort(uint16_t id)
{
    for (size_t i = 0; i < waiting.size(); ++i) {
        if (waiting[i].command.id != id)
            continue;
        // A drive that never answers ignores the abort too; the kernel's own time-out on
        // the backend ends the command.
        if (waiting[i].answer.timing == ServedAnswer::kNever)
            return;
        drive.Ended(waiting[i].sequence, NowMs(), "aborted");
        ring.Complete(id, ScsiStatus::kTaskAborted, nullptr, 0, 0);
        waiting.erase(waiting.begin() + i);
        return;
    }
}

void Server::FlushLog()
{
    const std::vector<std::string>& lines = drive.Log();
    if (logged == lines.size())
        return;
    FILE* file = std::fopen((folder + "/commands.txt").c_str(), "a");
    if (file == nullptr)
        return;
    for (; logged < lines.size(); ++logged)
        std::fprintf(file, "%s\n", lines[logged].c_str());
    std::fclose(file);
}

int Server::NextTimeout() const
{
    int timeout = -1;
    uint32_t now = NowMs();
    for (const Waiting& entry : waiting) {
        if (entry.answer.timing != ServedAnswer::kDelay)
            continue;
        int32_t left = static_cast<int32_t>(entry.dueMs - now);
        if (left < 0)
            left = 0;
        if (timeout < 0 || left < timeout)
            timeout = left;
    }
    return timeout;
}

int Usage()
{
    std::fprintf(stderr, "usage: kdll-driveserver --uio /dev/uioN --scenario FILE --log FOLDER "
                         "[--device A:T]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const char* uio = nullptr;
    const char* scenarioPath = nullptr;
    const char* folder = nullptr;
    int adapter = -1, target = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--uio"))
            uio = argv[i + 1];
        else if (!std::strcmp(argv[i], "--scenario"))
            scenarioPath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--log"))
            folder = argv[i + 1];
        else if (!std::strcmp(argv[i], "--device") &&
                 std::sscanf(argv[i + 1], "%d:%d", &adapter, &target) == 2)
            continue;
        else
            return Usage();
    }
    if (uio == nullptr || scenarioPath == nullptr || folder == nullptr || argc % 2 == 0)
        return Usage();

    std::ifstream in(scenarioPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ServedDrive drive;
    if (!in || !drive.Load(text.str().c_str(), adapter, target)) {
        std::fprintf(stderr, "driveserver: %s: %s\n", scenarioPath,
                     in ? drive.error.c_str() : "cannot read it");
        return 1;
    }
    TcmuRing ring;
    if (!ring.Open(uio)) {
        std::fprintf(stderr, "driveserver: %s\n", ring.error.c_str());
        return 1;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::fclose(std::fopen((std::string(folder) + "/ready").c_str(), "w"));
    std::fprintf(stderr, "driveserver: serving %s on %s\n", scenarioPath, uio);
    Server server(ring, drive, folder);
    return server.Run();
}
