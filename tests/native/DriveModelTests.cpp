// The simulated drive as a request block sees it: what each command answers, what each
// injected fault does, and what the firmware write accepts and changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "DriveModel.h"

namespace {

const uint8_t kGood = 0x00;
const uint8_t kCheckCondition = 0x02;
const uint32_t kCodeLength = 63488;

struct Exchange {
    uint8_t returned;
    SRB_ExecSCSICmd srb;
    SimSubmission submission;
    std::vector<uint8_t> buffer;
};

// Sends one 12-byte command the way the library fills the block, then (unless told not
// to) delivers the result as the layer would.
Exchange Send(DriveModel& model, std::vector<uint8_t> cdb, uint8_t flags, uint32_t bufLen,
              const std::vector<uint8_t>* dataOut = nullptr, uint8_t adapter = 0,
              uint8_t target = 0, bool complete = true)
{
    Exchange x;
    cdb.resize(12, 0);
    x.buffer.assign(bufLen + 16, 0xAA);
    if (dataOut != nullptr)
        std::memcpy(x.buffer.data(), dataOut->data(), dataOut->size());
    std::memset(&x.srb, 0, sizeof x.srb);
    x.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    x.srb.SRB_HaId = adapter;
    x.srb.SRB_Flags = flags;
    x.srb.SRB_Target = target;
    x.srb.SRB_BufLen = bufLen;
    x.srb.SRB_BufPointer = x.buffer.data();
    x.srb.SRB_SenseLen = 18;
    x.srb.SRB_CDBLen = 12;
    std::memcpy(x.srb.CDBByte, cdb.data(), 12);
    x.returned = model.Accept(&x.srb, x.submission);
    const SimOutcome& outcome = x.submission.outcome;
    if (!complete || !x.submission.pending || outcome.hang || outcome.keep || outcome.pause)
        return x;
    model.Settle(x.submission);
    DriveModel::DeliverCompletion(&x.srb, x.submission);
    return x;
}

const uint8_t kIn = SRB_DIR_IN | SRB_EVENT_NOTIFY;
const uint8_t kOut = SRB_DIR_OUT | SRB_EVENT_NOTIFY;
const uint8_t kNoData =
    SRB_DIR_IN | SRB_EVENT_NOTIFY; // how the library sends commands without data

Exchange Inquiry(DriveModel& model, uint8_t allocation, uint32_t bufLen, uint8_t target = 0)
{
    return Send(model, {0x12, 0, 0, 0, allocation}, kIn, bufLen, nullptr, 0, target);
}

std::vector<uint8_t> Sense(uint8_t key, uint8_t asc, uint8_t ascq)
{
    std::vector<uint8_t> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

std::vector<uint8_t> SenseOf(const Exchange& x)
{
    return std::vector<uint8_t>(x.srb.SenseArea, x.srb.SenseArea + 18);
}

std::vector<uint8_t> InquiryBytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                  const std::string& vendor, const std::string& product,
                                  const std::string& revision)
{
    std::vector<uint8_t> data = {b0, b1, b2, b3, 0x1F, 0, 0, 0};
    std::string text = vendor + product + revision;
    data.insert(data.end(), text.begin(), text.end());
    return data;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
        text += ' ';
    }
    return text;
}

// A firmware payload: code bytes, then their 16-bit sum, low byte first.
std::vector<uint8_t> Payload(std::vector<uint8_t> code)
{
    code.resize(kCodeLength, 0);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kCodeLength; ++i)
        sum += code[i];
    code.push_back(static_cast<uint8_t>(sum & 0xFF));
    code.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
    return code;
}

// Code bytes with an identification record at offset, in the drive's INQUIRY format.
std::vector<uint8_t> CodeWithRecord(uint32_t offset, uint8_t format, const std::string& revision)
{
    std::vector<uint8_t> code(kCodeLength);
    for (uint32_t i = 0; i < kCodeLength; ++i)
        code[i] = static_cast<uint8_t>((i * 7 + 3) & 0x7F); // below 0x80: no record by chance
    std::vector<uint8_t> record =
        InquiryBytes(0x05, 0x80, 0x00, format, "NEMBRIKA", "CD-ROM RVX-4417K", revision);
    std::memcpy(code.data() + offset, record.data(), record.size());
    return code;
}

const uint8_t kWriteCdb[] = {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40, 0};

Exchange Write(DriveModel& model, const std::vector<uint8_t>& payload, uint8_t flags = kOut)
{
    return Send(model, std::vector<uint8_t>(kWriteCdb, kWriteCdb + 12), flags,
                static_cast<uint32_t>(payload.size()), &payload);
}

std::string RevisionOf(DriveModel& model, uint8_t target = 0)
{
    Exchange x = Inquiry(model, 36, 36, target);
    return std::string(reinterpret_cast<const char*>(x.buffer.data()) + 32, 4);
}

uint32_t Fnv1a32(const std::vector<uint8_t>& bytes)
{
    uint32_t h = 0x811C9DC5u;
    for (uint8_t b : bytes)
        h = (h ^ b) * 0x01000193u;
    return h;
}

DriveModel Configured(const char* scenario)
{
    DriveModel model;
    EXPECT_EQ(1, model.Configure(scenario)) << model.LastError();
    return model;
}

} // namespace

TEST(DriveModelInquiry, StandardDataOfEachKind)
{
    struct {
        const char* scenario;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"device 0 0 rvx",
         InquiryBytes(0x05, 0x80, 0x00, 0x21, "NEMBRIKA", "CD-ROM RVX-4417K", "1.00")},
        {"device 0 0 rvx revision 1.10 format 0x32",
         InquiryBytes(0x05, 0x80, 0x00, 0x32, "NEMBRIKA", "CD-ROM RVX-4417K", "1.10")},
        {"device 0 0 cdrom OTHERCO \"CD-ROM X-1\" 2.0",
         InquiryBytes(0x05, 0x80, 0x00, 0x32, "OTHERCO ", "CD-ROM X-1      ", "2.0 ")},
        {"device 0 0 disk ACME \"FIXED DISK\" 1",
         InquiryBytes(0x00, 0x00, 0x02, 0x02, "ACME    ", "FIXED DISK      ", "1   ")},
        {"device 0 0 type 0x25 NEMBRIKA \"CD-ROM RVX-4417K\" 1.00",
         InquiryBytes(0x25, 0x00, 0x02, 0x02, "NEMBRIKA", "CD-ROM RVX-4417K", "1.00")},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured(c.scenario);
        Exchange x = Inquiry(model, 36, 36);
        EXPECT_EQ(SS_PENDING, x.returned) << c.scenario;
        EXPECT_EQ(SS_COMP, x.srb.SRB_Status) << c.scenario;
        EXPECT_EQ(kGood, x.srb.SRB_TargStat) << c.scenario;
        std::vector<uint8_t> got(x.buffer.begin(), x.buffer.begin() + 36);
        EXPECT_EQ(c.expected, got)
            << c.scenario << "\n got " << Hex(got) << "\n expected " << Hex(c.expected);
    }
}

TEST(DriveModelInquiry, CopiesTheSmallerOfAllocationAndBuffer)
{
    struct {
        uint8_t allocation;
        uint32_t bufLen;
        uint32_t copied;
    } cases[] = {{36, 36, 36}, {46, 46, 46}, {46, 36, 36}, {5, 36, 5}, {0, 36, 0}, {255, 255, 255}};
    std::vector<uint8_t> standard =
        InquiryBytes(0x05, 0x80, 0x00, 0x21, "NEMBRIKA", "CD-ROM RVX-4417K", "1.00");
    for (const auto& c : cases) {
        DriveModel model = Configured("device 0 0 rvx");
        Exchange x = Inquiry(model, c.allocation, c.bufLen);
        ASSERT_EQ(SS_COMP, x.srb.SRB_Status) << "allocation " << int(c.allocation);
        for (uint32_t i = 0; i < x.buffer.size(); ++i) {
            uint8_t expected = 0xAA; // untouched
            if (i < c.copied)
                expected = i < 36 ? standard[i] : 0x00;
            ASSERT_EQ(expected, x.buffer[i])
                << "allocation " << int(c.allocation) << " buffer " << c.bufLen << " byte " << i;
        }
    }
}

TEST(DriveModelInquiry, VitalProductDataIsRefused)
{
    DriveModel model = Configured("device 0 0 rvx");
    Exchange x = Send(model, {0x12, 0x01, 0x80, 0, 36}, kIn, 36);
    EXPECT_EQ(SS_ERR, x.srb.SRB_Status);
    EXPECT_EQ(Sense(5, 0x24, 0), SenseOf(x));
}

TEST(DriveModelCommands, AnswersOfEachDeviceKind)
{
    const char* scenario = "device 0 0 rvx\n"
                           "device 0 1 cdrom OTHERCO CDR 1.0\n"
                           "device 0 2 disk ACME DISK 1\n"
                           "device 0 3 type 25 X Y Z\n";
    struct {
        const char* name;
        uint8_t target;
        std::vector<uint8_t> cdb;
        uint8_t status;
        std::vector<uint8_t> sense; // empty: no sense data
    } cases[] = {
        {"rvx probe", 0, {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, SS_COMP, {}},
        {"cdrom probe",
         1,
         {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40},
         SS_ERR,
         Sense(5, 0x20, 0)},
        {"disk probe", 2, {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, SS_ERR, Sense(5, 0x20, 0)},
        {"raw probe", 3, {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, SS_ERR, Sense(5, 0x20, 0)},
        {"rvx other vendor function", 0, {0xCB, 0, 7}, SS_ERR, Sense(5, 0x24, 0)},
        {"rvx unknown opcode", 0, {0x25}, SS_ERR, Sense(5, 0x20, 0)},
        {"rvx test unit ready", 0, {0x00}, SS_COMP, {}},
        {"cdrom prevent", 1, {0x1E, 0, 0, 0, 2}, SS_COMP, {}},
        {"cdrom unload", 1, {0x1B, 0, 0, 0, 2}, SS_COMP, {}},
        {"disk test unit ready", 2, {0x00}, SS_COMP, {}},
        {"disk unload", 2, {0x1B, 0, 0, 0, 2}, SS_COMP, {}},
        {"raw test unit ready", 3, {0x00}, SS_COMP, {}},
        {"raw unload", 3, {0x1B, 0, 0, 0, 2}, SS_ERR, Sense(5, 0x20, 0)},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured(scenario);
        Exchange x = Send(model, c.cdb, kNoData, 0, nullptr, 0, c.target);
        EXPECT_EQ(c.status, x.srb.SRB_Status) << c.name;
        EXPECT_EQ(0u, x.submission.outcome.dataInLength) << c.name;
        if (c.sense.empty()) {
            EXPECT_EQ(kGood, x.srb.SRB_TargStat) << c.name;
            EXPECT_EQ(0, x.srb.SenseArea[0]) << c.name;
        } else {
            EXPECT_EQ(kCheckCondition, x.srb.SRB_TargStat) << c.name;
            EXPECT_EQ(c.sense, SenseOf(x)) << c.name << ": got " << Hex(SenseOf(x));
        }
    }
}

TEST(DriveModelCommands, MediumFollowsUnloadLoadAndLock)
{
    DriveModel model = Configured("device 0 0 rvx");
    SimDeviceInfo info;
    ASSERT_EQ(1, model.GetDeviceInfo(0, 0, info));
    EXPECT_EQ(1, info.mediumLoaded);

    // The library's own sequence: allow removal (persistent bit only), then unload.
    EXPECT_EQ(SS_COMP, Send(model, {0x1E, 0, 0, 0, 2}, kNoData, 0).srb.SRB_Status);
    EXPECT_EQ(SS_COMP, Send(model, {0x1B, 0, 0, 0, 2}, kNoData, 0).srb.SRB_Status);
    model.GetDeviceInfo(0, 0, info);
    EXPECT_EQ(0, info.mediumLoaded);
    EXPECT_EQ(0, info.prevented);
    Exchange tur = Send(model, {0x00}, kNoData, 0);
    EXPECT_EQ(SS_ERR, tur.srb.SRB_Status);
    EXPECT_EQ(Sense(2, 0x3A, 0), SenseOf(tur));

    EXPECT_EQ(SS_COMP, Send(model, {0x1B, 0, 0, 0, 3}, kNoData, 0).srb.SRB_Status);
    model.GetDeviceInfo(0, 0, info);
    EXPECT_EQ(1, info.mediumLoaded);
    EXPECT_EQ(SS_COMP, Send(model, {0x00}, kNoData, 0).srb.SRB_Status);

    // Locked: the unload is refused and the medium stays.
    EXPECT_EQ(SS_COMP, Send(model, {0x1E, 0, 0, 0, 1}, kNoData, 0).srb.SRB_Status);
    Exchange refused = Send(model, {0x1B, 0, 0, 0, 2}, kNoData, 0);
    EXPECT_EQ(Sense(5, 0x53, 0x02), SenseOf(refused));
    model.GetDeviceInfo(0, 0, info);
    EXPECT_EQ(1, info.mediumLoaded);
    EXPECT_EQ(1, info.prevented);
}

TEST(DriveModelWrite, AcceptsPayloadWithItsSum)
{
    DriveModel model = Configured("device 0 0 rvx");
    std::vector<uint8_t> code(kCodeLength, 0xFF);
    std::vector<uint8_t> payload = Payload(code);
    // 63,488 bytes of 0xFF sum to 0x0800 modulo 65,536.
    ASSERT_EQ(0x00, payload[kCodeLength]);
    ASSERT_EQ(0x08, payload[kCodeLength + 1]);
    Exchange x = Write(model, payload);
    EXPECT_EQ(SS_PENDING, x.returned);
    EXPECT_EQ(SS_COMP, x.srb.SRB_Status);
    EXPECT_EQ(0, x.srb.SenseArea[0]);
    SimDeviceInfo info;
    model.GetDeviceInfo(0, 0, info);
    EXPECT_EQ(1u, info.flashCount);
    EXPECT_EQ("1.00", std::string(info.revision)); // no identification record in the code

    SimRequestRecord record;
    ASSERT_EQ(1, model.GetRequest(0, record));
    EXPECT_EQ(Fnv1a32(payload), record.dataOutDigest);
    std::vector<uint8_t> copy(70000);
    copy.resize(model.GetDataOut(0, copy.data(), static_cast<uint32_t>(copy.size())));
    EXPECT_EQ(payload, copy);
}

// A write whose run waits for its completion takes the caller's buffer as it is then: a
// buffer changed under a pending request shows in what the drive flashes.
TEST(DriveModelWrite, DeferredWriteTakesTheBufferWhenItRuns)
{
    struct {
        const char* name;
        const char* scenario;
    } cases[] = {
        {"paused write", "device 0 0 rvx\nfault 0 0 write pause count 1\n"},
        {"data-out at completion", "data-out at-completion\ndevice 0 0 rvx\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DriveModel model = Configured(c.scenario);
        std::vector<uint8_t> sent = Payload(std::vector<uint8_t>(kCodeLength, 0x11));
        std::vector<uint8_t> later = Payload(std::vector<uint8_t>(kCodeLength, 0x22));
        Exchange x = Send(model, std::vector<uint8_t>(kWriteCdb, kWriteCdb + 12), kOut,
                          static_cast<uint32_t>(sent.size()), &sent, 0, 0, false);
        ASSERT_EQ(SS_PENDING, x.returned);
        SimDeviceInfo info;
        model.GetDeviceInfo(0, 0, info);
        EXPECT_EQ(0u, info.flashCount) << "flashed before the request completed";

        std::copy(later.begin(), later.end(), x.buffer.begin());
        model.Settle(x.submission);
        DriveModel::DeliverCompletion(&x.srb, x.submission);
        EXPECT_EQ(SS_COMP, x.srb.SRB_Status);
        model.GetDeviceInfo(0, 0, info);
        EXPECT_EQ(1u, info.flashCount);
        std::vector<uint8_t> taken(70000);
        taken.resize(model.GetDataOut(0, taken.data(), static_cast<uint32_t>(taken.size())));
        EXPECT_TRUE(later == taken) << "the drive took the bytes of the submission";
        SimRequestRecord record;
        ASSERT_EQ(1, model.GetRequest(0, record));
        EXPECT_EQ(Fnv1a32(later), record.dataOutDigest);
    }
}

TEST(DriveModelWrite, RefusesBadLengthOrSumAndKeepsTheFlash)
{
    std::vector<uint8_t> good = Payload(CodeWithRecord(0x100, 0x21, "2.00"));
    std::vector<uint8_t> badSum = good;
    badSum[kCodeLength] ^= 0x01;
    std::vector<uint8_t> codeChanged = good;
    codeChanged[5] ^= 0x40;
    std::vector<uint8_t> shortPayload(good.begin(), good.end() - 1);
    std::vector<uint8_t> longPayload = good;
    longPayload.push_back(0);

    struct {
        const char* name;
        std::vector<uint8_t> cdb;
        std::vector<uint8_t> payload;
        std::vector<uint8_t> sense;
    } cases[] = {
        {"sum byte changed", {kWriteCdb, kWriteCdb + 12}, badSum, Sense(5, 0x26, 0)},
        {"code byte changed", {kWriteCdb, kWriteCdb + 12}, codeChanged, Sense(5, 0x26, 0)},
        {"one byte short", {kWriteCdb, kWriteCdb + 12}, shortPayload, Sense(5, 0x24, 0)},
        {"one byte long", {kWriteCdb, kWriteCdb + 12}, longPayload, Sense(5, 0x24, 0)},
        {"length bytes F8 01",
         {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x01, 0, 0x40},
         good,
         Sense(5, 0x24, 0)},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured("device 0 0 rvx");
        Exchange x = Send(model, c.cdb, kOut, static_cast<uint32_t>(c.payload.size()), &c.payload);
        EXPECT_EQ(SS_ERR, x.srb.SRB_Status) << c.name;
        EXPECT_EQ(kCheckCondition, x.srb.SRB_TargStat) << c.name;
        EXPECT_EQ(c.sense, SenseOf(x)) << c.name << ": got " << Hex(SenseOf(x));
        SimDeviceInfo info;
        model.GetDeviceInfo(0, 0, info);
        EXPECT_EQ(0u, info.flashCount) << c.name;
        EXPECT_EQ("1.00", RevisionOf(model)) << c.name;
    }
}

TEST(DriveModelWrite, DirectionComesFromFlagsOrOnWindows9xFromTheCommand)
{
    std::vector<uint8_t> payload = Payload(std::vector<uint8_t>(kCodeLength, 0x11));
    struct {
        const char* name;
        uint8_t flags;
        uint8_t status;
        uint8_t hostStatus;
        uint32_t flashes;
    } cases[] = {
        {"NT, direction out", SRB_DIR_OUT | SRB_EVENT_NOTIFY, SS_COMP, 0, 1},
        {"9x, no direction bits", SRB_EVENT_NOTIFY, SS_COMP, 0, 1},
        {"direction in", SRB_DIR_IN | SRB_EVENT_NOTIFY, SS_ERR, 0x12, 0},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured("device 0 0 rvx");
        Exchange x = Write(model, payload, c.flags);
        EXPECT_EQ(c.status, x.srb.SRB_Status) << c.name;
        EXPECT_EQ(c.hostStatus, x.srb.SRB_HaStat) << c.name;
        SimDeviceInfo info;
        model.GetDeviceInfo(0, 0, info);
        EXPECT_EQ(c.flashes, info.flashCount) << c.name;
        SimRequestRecord record;
        model.GetRequest(0, record);
        EXPECT_EQ(c.flashes ? Fnv1a32(payload) : 0u, record.dataOutDigest) << c.name;
    }
}

TEST(DriveModelWrite, RevisionComesFromTheFlashedRecord)
{
    std::vector<uint8_t> twoRecords = CodeWithRecord(0x200, 0x21, "1.50");
    std::vector<uint8_t> second = CodeWithRecord(0x9000, 0x21, "2.10");
    std::memcpy(twoRecords.data() + 0x9000, second.data() + 0x9000, 36);
    std::vector<uint8_t> afterFive = CodeWithRecord(0x301, 0x21, "3.00");
    afterFive[0x300] = 0x05; // 05 05 80 00 21 1F: the loader does not see a record there
    std::vector<uint8_t> cutOff = CodeWithRecord(0x100, 0x21, "2.00");
    std::vector<uint8_t> tail = CodeWithRecord(0, 0x21, "9.99");
    // Pattern at the very end: its revision would lie behind the code bytes.
    std::memcpy(cutOff.data() + kCodeLength - 20, tail.data(), 20);

    struct {
        const char* name;
        std::vector<uint8_t> code;
        std::string revision;
    } cases[] = {
        {"record with format 21", CodeWithRecord(0x100, 0x21, "2.00"), "2.00"},
        {"record with format 32", CodeWithRecord(0x100, 0x32, "2.00"), "2.00"},
        {"record at the end of the code", CodeWithRecord(kCodeLength - 36, 0x21, "2.01"), "2.01"},
        {"two records, the last wins", twoRecords, "2.10"},
        {"record preceded by 05", afterFive, "1.00"},
        {"format 20 is no record", CodeWithRecord(0x100, 0x20, "2.00"), "1.00"},
        {"cut-off record ignored", cutOff, "2.00"},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured("device 0 0 rvx");
        Exchange x = Write(model, Payload(c.code));
        ASSERT_EQ(SS_COMP, x.srb.SRB_Status) << c.name << ": " << Hex(SenseOf(x));
        EXPECT_EQ(c.revision, RevisionOf(model)) << c.name;
        SimDeviceInfo info;
        model.GetDeviceInfo(0, 0, info);
        EXPECT_EQ(c.revision, std::string(info.revision)) << c.name;
        EXPECT_EQ(1u, info.flashCount) << c.name;
    }
}

TEST(DriveModelWrite, GenericCdromDoesNotKnowTheWrite)
{
    DriveModel model = Configured("device 0 0 cdrom OTHERCO CDR 1.0");
    Exchange x = Write(model, Payload(std::vector<uint8_t>(kCodeLength, 1)));
    EXPECT_EQ(Sense(5, 0x20, 0), SenseOf(x));
}

TEST(DriveModelFaults, EachActionAsTheCallerSeesIt)
{
    struct {
        const char* fault;
        uint8_t status;
        std::vector<uint8_t> sense; // empty: none
        uint32_t delayMs;
        uint8_t hang;
        uint8_t keep;
        uint8_t unloaded; // 1 when the unload took effect
    } cases[] = {
        {"fault 0 0 unload check 2 4 1", SS_ERR, Sense(2, 0x04, 0x01), 0, 0, 0, 0},
        {"fault 0 0 unload unit-attention", SS_ERR, Sense(6, 0x29, 0), 0, 0, 0, 0},
        {"fault 0 0 unload reject", SS_ERR, Sense(5, 0x20, 0), 0, 0, 0, 0},
        {"fault 0 0 unload status 0x04", SS_ERR, {}, 0, 0, 0, 0},
        {"fault 0 0 unload status E0", 0xE0, {}, 0, 0, 0, 0},
        {"fault 0 0 unload sense-with-good", SS_COMP, Sense(6, 0x29, 0), 0, 0, 0, 1},
        {"fault 0 0 unload sense-with-good 3 11 0", SS_COMP, Sense(3, 0x11, 0), 0, 0, 0, 1},
        {"fault 0 0 unload delay 1500", SS_COMP, {}, 1500, 0, 0, 1},
        {"fault 0 0 unload delay 20 check 3 0C 00", SS_ERR, Sense(3, 0x0C, 0), 20, 0, 0, 0},
        {"fault 0 0 unload hang", SS_PENDING, {}, 0, 1, 0, 0},
        {"fault 0 0 unload keep", SS_PENDING, {}, 0, 0, 1, 0},
        {"fault 0 0 any unit-attention", SS_ERR, Sense(6, 0x29, 0), 0, 0, 0, 0},
        {"fault 0 0 tur unit-attention", SS_COMP, {}, 0, 0, 0, 1}, // another command's fault
    };
    for (const auto& c : cases) {
        DriveModel model = Configured((std::string("device 0 0 rvx\n") + c.fault).c_str());
        Exchange x = Send(model, {0x1B, 0, 0, 0, 2}, kNoData, 0);
        EXPECT_EQ(SS_PENDING, x.returned) << c.fault;
        EXPECT_EQ(c.status, x.srb.SRB_Status) << c.fault;
        EXPECT_EQ(c.delayMs, x.submission.outcome.delayMs) << c.fault;
        EXPECT_EQ(c.hang, x.submission.outcome.hang) << c.fault;
        EXPECT_EQ(c.keep, x.submission.outcome.keep) << c.fault;
        if (c.sense.empty())
            EXPECT_EQ(0, x.srb.SenseArea[0]) << c.fault;
        else
            EXPECT_EQ(c.sense, SenseOf(x)) << c.fault << ": got " << Hex(SenseOf(x));
        SimDeviceInfo info;
        model.GetDeviceInfo(0, 0, info);
        EXPECT_EQ(c.unloaded, !info.mediumLoaded) << c.fault;
    }
}

TEST(DriveModelFaults, CountLimitsTheFaultThenTheDriveIsNormal)
{
    DriveModel model = Configured("device 0 0 rvx\n"
                                  "fault 0 0 unload unit-attention count 2\n");
    std::vector<uint8_t> statuses;
    for (int i = 0; i < 4; ++i) {
        Exchange x = Send(model, {0x1B, 0, 0, 0, 2}, kNoData, 0);
        statuses.push_back(x.srb.SRB_Status);
        if (i < 2)
            EXPECT_EQ(Sense(6, 0x29, 0), SenseOf(x)) << "execution " << i;
    }
    EXPECT_EQ((std::vector<uint8_t>{SS_ERR, SS_ERR, SS_COMP, SS_COMP}), statuses);
}

TEST(DriveModelFaults, CountIsSpentOnlyByTheSelectedCommand)
{
    DriveModel model = Configured("device 0 0 rvx\n"
                                  "fault 0 0 write reject count 1\n");
    EXPECT_EQ(SS_COMP, Inquiry(model, 36, 36).srb.SRB_Status);
    EXPECT_EQ(SS_COMP, Send(model, {0x00}, kNoData, 0).srb.SRB_Status);
    std::vector<uint8_t> payload = Payload(std::vector<uint8_t>(kCodeLength, 3));
    EXPECT_EQ(SS_ERR, Write(model, payload).srb.SRB_Status);
    EXPECT_EQ(SS_COMP, Write(model, payload).srb.SRB_Status);
}

TEST(DriveModelFaults, FirstActiveRuleAppliesInOrder)
{
    DriveModel model = Configured("device 0 0 rvx\n"
                                  "fault 0 0 tur check 2 4 1 count 1\n"
                                  "fault 0 0 any unit-attention count 1\n"
                                  "fault 0 0 tur delay 5\n");
    Exchange first = Send(model, {0x00}, kNoData, 0);
    Exchange second = Send(model, {0x00}, kNoData, 0);
    Exchange third = Send(model, {0x00}, kNoData, 0);
    EXPECT_EQ(Sense(2, 0x04, 0x01), SenseOf(first));
    EXPECT_EQ(Sense(6, 0x29, 0), SenseOf(second));
    EXPECT_EQ(SS_COMP, third.srb.SRB_Status);
    EXPECT_EQ(5u, third.submission.outcome.delayMs);
}

TEST(DriveModelFaults, FaultedWriteDoesNotFlash)
{
    DriveModel model = Configured("device 0 0 rvx\n"
                                  "fault 0 0 write hang count 1\n"
                                  "fault 0 0 write check 3 0C 00 count 1\n");
    std::vector<uint8_t> payload = Payload(CodeWithRecord(0x40, 0x21, "2.00"));
    Write(model, payload);
    Write(model, payload);
    SimDeviceInfo info;
    model.GetDeviceInfo(0, 0, info);
    EXPECT_EQ(0u, info.flashCount);
    EXPECT_EQ("1.00", std::string(info.revision));
    Write(model, payload);
    model.GetDeviceInfo(0, 0, info);
    EXPECT_EQ(1u, info.flashCount);
    EXPECT_EQ("2.00", std::string(info.revision));
}

TEST(DriveModelRequests, RefusedAtOnceWithTheirStatus)
{
    const char* scenario = "adapters 2\ndevice 0 1 rvx\n";
    struct {
        const char* name;
        uint8_t adapter;
        uint8_t target;
        uint8_t lun;
        uint8_t cdbLength;
        uint32_t bufLen;
        int nullBuffer;
        uint8_t status;
    } cases[] = {
        {"adapter 2 of 2", 2, 1, 0, 12, 36, 0, SS_INVALID_HA},
        {"adapter 200", 200, 1, 0, 12, 36, 0, SS_INVALID_HA},
        {"empty target", 0, 0, 0, 12, 36, 0, SS_NO_DEVICE},
        {"empty adapter", 1, 1, 0, 12, 36, 0, SS_NO_DEVICE},
        {"logical unit 1", 0, 1, 1, 12, 36, 0, SS_NO_DEVICE},
        {"no command bytes", 0, 1, 0, 0, 36, 0, SS_INVALID_SRB},
        {"17 command bytes", 0, 1, 0, 17, 36, 0, SS_INVALID_SRB},
        {"null buffer with a length", 0, 1, 0, 12, 36, 1, SS_INVALID_SRB},
        {"transfer above 64 KiB", 0, 1, 0, 12, 65537, 0, 0xE6},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured(scenario);
        std::vector<uint8_t> buffer(70000, 0xAA);
        SRB_ExecSCSICmd srb;
        std::memset(&srb, 0, sizeof srb);
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_Status = 0x77;
        srb.SRB_HaId = c.adapter;
        srb.SRB_Flags = kIn;
        srb.SRB_Target = c.target;
        srb.SRB_Lun = c.lun;
        srb.SRB_BufLen = c.bufLen;
        srb.SRB_BufPointer = c.nullBuffer ? nullptr : buffer.data();
        srb.SRB_SenseLen = 18;
        srb.SRB_CDBLen = c.cdbLength;
        srb.CDBByte[0] = 0x12;
        srb.CDBByte[4] = 36;
        SimSubmission submission;
        EXPECT_EQ(c.status, model.Accept(&srb, submission)) << c.name;
        EXPECT_EQ(c.status, srb.SRB_Status) << c.name;
        EXPECT_EQ(0, submission.pending) << c.name;
        EXPECT_EQ(0xAA, buffer[0]) << c.name;
        SimRequestRecord record;
        ASSERT_EQ(1, model.GetRequest(0, record)) << c.name;
        EXPECT_EQ(c.status, record.finalStatus) << c.name;
    }
}

TEST(DriveModelRequests, RefuseAllLeavesTheStatusByteAlone)
{
    DriveModel model = Configured("refuse-all\ndevice 0 0 rvx\n");
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Status = SS_COMP;
    srb.SRB_CDBLen = 12;
    SimSubmission submission;
    EXPECT_EQ(SS_INVALID_SRB, model.Accept(&srb, submission));
    EXPECT_EQ(SS_COMP, srb.SRB_Status);
    EXPECT_EQ(1, model.RequestCount());
}

TEST(DriveModelRequests, LogRecordsTheBlockAsSent)
{
    DriveModel model = Configured("device 0 3 rvx");
    Exchange x = Send(model, {0x12, 0, 0, 0, 0x2E}, kIn, 46, nullptr, 0, 3);
    SimRequestRecord record;
    ASSERT_EQ(1, model.GetRequest(0, record));
    EXPECT_EQ(SC_EXEC_SCSI_CMD, record.command);
    EXPECT_EQ(0, record.adapter);
    EXPECT_EQ(3, record.target);
    EXPECT_EQ(0, record.lun);
    EXPECT_EQ(kIn, record.flags);
    EXPECT_EQ(12, record.cdbLength);
    EXPECT_EQ(18, record.senseLength);
    const uint8_t cdb[16] = {0x12, 0, 0, 0, 0x2E};
    EXPECT_EQ(0, std::memcmp(cdb, record.cdb, 16));
    EXPECT_EQ(46u, record.bufLen);
    EXPECT_EQ(1u, record.bufPointerSet);
    EXPECT_EQ(0u, record.dataOutDigest);
    EXPECT_EQ(SS_PENDING, record.finalStatus);
    uint8_t none[4];
    EXPECT_EQ(0u, model.GetDataOut(0, none, sizeof none));

    model.SetFinalStatus(x.submission.sequence, SS_COMP);
    model.GetRequest(0, record);
    EXPECT_EQ(SS_COMP, record.finalStatus);
    EXPECT_EQ(0, model.GetRequest(1, record));
    EXPECT_EQ(0, model.GetRequest(-1, record));

    model.ClearLog();
    EXPECT_EQ(0, model.RequestCount());
    Send(model, {0x00}, kNoData, 0, nullptr, 0, 3);
    model.SetFinalStatus(x.submission.sequence, SS_ABORTED); // a request from before the clear
    ASSERT_EQ(1, model.GetRequest(0, record));
    EXPECT_EQ(0x00, record.cdb[0]);
    EXPECT_EQ(SS_PENDING, record.finalStatus);
}

TEST(DriveModelRequests, AbortAndUnknownRequestsAreLogged)
{
    DriveModel model = Configured("device 0 0 rvx");
    SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &abort;
    model.Record(&abort, SS_ABORT_FAIL);
    SRB_Header other = {SC_HA_INQUIRY, 0, 0, 0};
    model.Record(&other, SS_INVALID_CMD);
    SimRequestRecord record;
    ASSERT_EQ(1, model.GetRequest(0, record));
    EXPECT_EQ(SC_ABORT_SRB, record.command);
    EXPECT_EQ(1u, record.bufPointerSet);
    EXPECT_EQ(SS_ABORT_FAIL, record.finalStatus);
    ASSERT_EQ(1, model.GetRequest(1, record));
    EXPECT_EQ(SC_HA_INQUIRY, record.command);
    EXPECT_EQ(SS_INVALID_CMD, record.finalStatus);
}

TEST(DriveModelDelivery, SenseAndDataStayWithinTheirLengths)
{
    DriveModel model = Configured("device 0 0 rvx\nfault 0 0 tur check 2 3A 01\n");
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    std::memset(srb.SenseArea, 0xEE, sizeof srb.SenseArea);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = kNoData;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 6;
    SimSubmission submission;
    ASSERT_EQ(SS_PENDING, model.Accept(&srb, submission));
    EXPECT_EQ(SS_PENDING, srb.SRB_Status);
    DriveModel::DeliverCompletion(&srb, submission);
    EXPECT_EQ(SS_ERR, srb.SRB_Status);
    std::vector<uint8_t> expected = Sense(2, 0x3A, 0x01);
    expected.resize(14);
    expected.resize(20, 0xEE); // not written past SRB_SenseLen
    EXPECT_EQ(expected, std::vector<uint8_t>(srb.SenseArea, srb.SenseArea + 20));
}

TEST(DriveModelSupportInfo, StatusAndAdapterCount)
{
    struct {
        const char* scenario;
        uint32_t info;
    } cases[] = {
        {"adapters 2", 0x0102},
        {"adapters 0", 0xE800},
        {"", 0xE800},
        {"device 3 0 rvx", 0x0104},
        {"adapters 1\nsupport-status 0xE8", 0xE801},
        {"adapters 0\nsupport-status 01", 0x0100},
    };
    for (const auto& c : cases) {
        DriveModel model = Configured(c.scenario);
        EXPECT_EQ(c.info, model.SupportInfo()) << c.scenario;
    }
}
