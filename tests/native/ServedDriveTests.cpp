// The drive that the drive server presents: SCSI answers and timing from the scenario's
// faults, and the log the real-stack run compares.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ServedDrive.h"

namespace {

const char kScenario[] = "adapters 1\n"
                         "device 0 0 disk \"ACME\" \"FIXED DISK 2000\" \"1.0\"\n"
                         "device 0 1 rvx revision 1.00\n"
                         "fault 0 1 write delay 1500 check 3 0C 00 count 1\n"
                         "fault 0 1 tur hang count 1\n"
                         "fault 0 1 load keep count 1\n";

std::vector<uint8_t> Payload()
{
    std::vector<uint8_t> payload(63490);
    uint16_t sum = 0;
    for (uint32_t i = 0; i < 63488; ++i) {
        payload[i] = static_cast<uint8_t>(i * 13);
        sum = static_cast<uint16_t>(sum + payload[i]);
    }
    payload[63488] = static_cast<uint8_t>(sum);
    payload[63489] = static_cast<uint8_t>(sum >> 8);
    return payload;
}

} // namespace

// One drive's commands in order, as the target's backend hands them over: what each is
// answered with, when, and what the log says.
TEST(ServedDrive, AnswersAndLogsCommandsInOrder)
{
    ServedDrive drive;
    ASSERT_EQ(1, drive.Load(kScenario, -1, -1)) << drive.error;
    std::vector<uint8_t> payload = Payload();
    const uint8_t kWrite[10] = {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x02, 0};
    const struct {
        const char* name;
        std::vector<uint8_t> cdb;
        bool sendsPayload;
        uint32_t transferLength;
        uint8_t timing, status, senseKey, asc;
        uint32_t dataIn;
        const char* logTail; // for the writes, D7CD6301: FNV-1a 32 of Payload(), reckoned
                             // apart from the drive model
    } cases[] = {
        {"INQUIRY: a CD-ROM with the drive's identity",
         {0x12, 0, 0, 0, 36, 0},
         false,
         36,
         ServedAnswer::kNow,
         0x00,
         0,
         0,
         36,
         "| in 36 | good 36"},
        {"INQUIRY into a shorter buffer",
         {0x12, 0, 0, 0, 96, 0},
         false,
         20,
         ServedAnswer::kNow,
         0x00,
         0,
         0,
         20,
         "| in 20 | good 20"},
        {"an operation code the drive lacks",
         {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 28, 0},
         false,
         28,
         ServedAnswer::kNow,
         0x02,
         5,
         0x20,
         0,
         "| in 28 | check 5/20/00"},
        {"the first write: delayed medium error",
         {kWrite, kWrite + 10},
         true,
         63490,
         ServedAnswer::kDelay,
         0x02,
         3,
         0x0C,
         0,
         "| out 63490 fnv D7CD6301 | check 3/0C/00 delay"},
        {"the second write: accepted",
         {kWrite, kWrite + 10},
         true,
         63490,
         ServedAnswer::kNow,
         0x00,
         0,
         0,
         0,
         "| out 63490 fnv D7CD6301 | good 0"},
        {"TEST UNIT READY without an answer",
         {0, 0, 0, 0, 0, 0},
         false,
         0,
         ServedAnswer::kHeld,
         0x00,
         0,
         0,
         0,
         "| in 0 | good 0 held"},
        {"a load that is never answered",
         {0x1B, 0, 0, 0, 3, 0},
         false,
         0,
         ServedAnswer::kNever,
         0x00,
         0,
         0,
         0,
         "| in 0 | good 0 never"},
    };
    uint32_t expectedSequence = 1;
    for (const auto& c : cases) {
        ServedAnswer answer;
        uint32_t sequence =
            drive.Execute(c.cdb.data(), static_cast<uint8_t>(c.cdb.size()),
                          c.sendsPayload ? payload.data() : nullptr, c.transferLength, 7, answer);
        EXPECT_EQ(expectedSequence++, sequence) << c.name;
        EXPECT_EQ(c.timing, answer.timing) << c.name;
        EXPECT_EQ(c.status, answer.status) << c.name;
        EXPECT_EQ(c.status == 0x02 ? 18u : 0u, answer.senseLength) << c.name;
        EXPECT_EQ(c.senseKey, answer.sense[2] & 0x0F) << c.name;
        EXPECT_EQ(c.asc, answer.sense[12]) << c.name;
        EXPECT_EQ(c.dataIn, answer.dataInLength) << c.name;
        const std::string& line = drive.Log().back();
        EXPECT_EQ(0u, line.find(std::to_string(sequence) + " 7 cdb ")) << c.name << ": " << line;
        EXPECT_NE(std::string::npos, line.find(c.logTail)) << c.name << ": " << line;
    }
    ServedAnswer inquiry;
    const uint8_t kInquiry[6] = {0x12, 0, 0, 0, 36, 0};
    drive.Execute(kInquiry, 6, nullptr, 36, 9, inquiry);
    EXPECT_EQ(0, std::memcmp(inquiry.dataIn, "\x05\x80\x00\x21\x1F", 5));
    EXPECT_EQ(0, std::memcmp(inquiry.dataIn + 8, "NEMBRIKACD-ROM RVX-4417K", 24));

    drive.Ended(6, 15007, "aborted");
    EXPECT_EQ("6 15007 aborted", drive.Log().back());
}

// Scenarios the server cannot present, each refused with its reason.
TEST(ServedDrive, RefusesWhatOnlyALayerShows)
{
    const struct {
        const char* name;
        const char* scenario;
        int adapter, target;
        const char* reason;
    } cases[] = {
        {"parse error", "device 0 1 rvx\nfault 0 1 write bogus\n", -1, -1, "line 2"},
        {"no RVX-4417K", "device 0 0 disk A B C\n", -1, -1, "no RVX-4417K"},
        {"no device at the address", "device 0 1 rvx\n", 0, 3, "no device there"},
        {"raw SRB status", "device 0 1 rvx\nfault 0 1 write status 0x04\n", -1, -1, "'status'"},
        {"paused request", "device 0 1 rvx\nfault 0 1 write pause\n", 0, 1, "'pause'"},
        {"sense with GOOD", "device 0 1 rvx\nfault 0 1 probe sense-with-good\n", -1, -1,
         "a drive's GOOD carries no sense"},
    };
    for (const auto& c : cases) {
        ServedDrive drive;
        EXPECT_EQ(0, drive.Load(c.scenario, c.adapter, c.target)) << c.name;
        EXPECT_NE(std::string::npos, drive.error.find(c.reason))
            << c.name << ": got \"" << drive.error << "\", expected it to name " << c.reason;
    }
}
