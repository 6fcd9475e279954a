// The translation of our WNASPI32.dll between an ASPI execute block and a buffered
// pass-through request: what is refused, what the driver receives, and what the caller
// finds in the block afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "AspiBlocks.h"
#include "PassThroughRequest.h"

namespace {

SRB_ExecSCSICmd Block(uint8_t opcode, uint8_t cdbLength, uint8_t flags, uint32_t bufLen,
                      uint8_t* data)
{
    SRB_ExecSCSICmd srb = AspiBlocks::Execute(0, 0, opcode, flags, bufLen, data);
    srb.SRB_CDBLen = cdbLength;
    return srb;
}

PassThroughHeader HeaderOf(PassThroughRequest& request)
{
    PassThroughHeader header;
    std::memcpy(&header, request.Buffer(), sizeof header);
    return header;
}

TEST(PassThroughRequest, RefusedBlocks)
{
    static uint8_t data[16];
    const struct {
        const char* name;
        uint8_t opcode;
        uint8_t cdbLength;
        uint8_t flags;
        uint32_t bufLen;
        bool nullBuffer;
        uint8_t refusal; // SS_PENDING: accepted
    } cases[] = {
        {"cdb length 0", 0x00, 0, 0, 0, false, SS_INVALID_SRB},
        {"cdb length 7", 0x00, 7, 0, 0, false, SS_INVALID_SRB},
        {"cdb length 17", 0x00, 17, 0, 0, false, SS_INVALID_SRB},
        {"both directions", 0x12, 6, SRB_DIR_IN | SRB_DIR_OUT, 16, false, SS_INVALID_SRB},
        {"null buffer with a length", 0x12, 6, SRB_DIR_IN, 16, true, SS_INVALID_SRB},
        {"vendor command without direction", 0xCB, 12, 0, 16, false, SS_INVALID_SRB},
        {"above 64 KiB", 0x28, 10, SRB_DIR_IN, 65537, false, SS_BUFFER_TO_BIG},
        {"64 KiB exactly", 0x28, 10, SRB_DIR_IN, 65536, false, SS_PENDING},
        {"no data, no direction", 0x00, 6, 0, 0, false, SS_PENDING},
        {"vendor command with direction", 0xCB, 12, SRB_DIR_OUT, 16, false, SS_PENDING},
        {"INQUIRY without direction", 0x12, 6, 0, 16, false, SS_PENDING},
        {"16-byte command", 0x88, 16, SRB_DIR_IN, 16, false, SS_PENDING},
    };
    std::vector<uint8_t> big(65537);
    for (const auto& c : cases) {
        uint8_t* buffer = c.nullBuffer ? nullptr : c.bufLen > sizeof data ? big.data() : data;
        SRB_ExecSCSICmd srb = Block(c.opcode, c.cdbLength, c.flags, c.bufLen, buffer);
        PassThroughRequest request;
        int built = request.Build(srb, 0);
        EXPECT_EQ(c.refusal == SS_PENDING, built == 1) << c.name;
        EXPECT_EQ(c.refusal, request.Refusal()) << c.name;
    }
}

// Where the driver finds command, sense area and data, and which way the data goes.
TEST(PassThroughRequest, RequestBuffer)
{
    const struct {
        const char* name;
        uint8_t opcode;
        uint8_t flags;
        uint32_t bufLen;
        uint8_t dataIn;
    } cases[] = {
        {"INQUIRY in", 0x12, SRB_DIR_IN, 36, PassThroughRequest::kDataIn},
        {"INQUIRY by its code", 0x12, 0, 36, PassThroughRequest::kDataIn},
        {"WRITE(10) by its code", 0x2A, 0, 2048, PassThroughRequest::kDataOut},
        {"firmware write out", 0xCB, SRB_DIR_OUT, 63490, PassThroughRequest::kDataOut},
        {"TEST UNIT READY with a direction bit", 0x00, SRB_DIR_IN, 0,
         PassThroughRequest::kDataNone},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> data(c.bufLen + 1);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(i * 7 + 1);
        SRB_ExecSCSICmd srb = Block(c.opcode, 12, c.flags, c.bufLen, data.data());
        srb.CDBByte[2] = 0x04;
        srb.CDBByte[11] = 0x5A;
        PassThroughRequest request;
        ASSERT_EQ(1, request.Build(srb, 0)) << c.name;
        PassThroughHeader header = HeaderOf(request);
        EXPECT_EQ(sizeof header, header.Length) << c.name;
        EXPECT_EQ(c.dataIn, header.DataIn) << c.name;
        EXPECT_EQ(12, header.CdbLength) << c.name;
        EXPECT_EQ(0, std::memcmp(header.Cdb, srb.CDBByte, 12)) << c.name;
        EXPECT_EQ(ASPI_SENSE_LEN, header.SenseInfoLength) << c.name;
        EXPECT_EQ(c.bufLen, header.DataTransferLength) << c.name;
        EXPECT_EQ(sizeof header, header.SenseInfoOffset) << c.name;
        EXPECT_GE(header.DataBufferOffset, header.SenseInfoOffset + 255) << c.name;
        EXPECT_EQ(0u, header.DataBufferOffset % 8) << c.name;
        EXPECT_EQ(header.DataBufferOffset + c.bufLen, request.BufferSize()) << c.name;
        // Data out travels in the request; data in is not sent.
        const uint8_t* sent = request.Buffer() + header.DataBufferOffset;
        bool copied = c.bufLen > 0 && std::memcmp(sent, data.data(), c.bufLen) == 0;
        EXPECT_EQ(c.dataIn == PassThroughRequest::kDataOut, copied) << c.name;
    }
}

// The block after the driver answered.
TEST(PassThroughRequest, CompletionIntoTheBlock)
{
    const uint8_t kSense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    const struct {
        const char* name;
        uint32_t ioError;
        uint8_t scsiStatus;
        uint32_t transferred; // DataTransferLength the driver reports
        uint8_t senseReturned;
        uint8_t senseLen; // SRB_SenseLen
        bool residual;    // SRB_ENABLE_RESIDUAL_COUNT
        uint8_t status, hostStatus, targetStatus;
        uint32_t dataCopied, senseCopied, bufLenAfter;
        uint32_t elapsedMs; // from the call to its end
    } cases[] = {
        {"good", 0, 0x00, 36, 0, 18, false, SS_COMP, 0, 0, 36, 0, 36, 0},
        {"good with residual", 0, 0x00, 36, 0, 18, true, SS_COMP, 0, 0, 36, 0, 0, 0},
        {"underrun", 0, 0x00, 20, 0, 18, true, SS_COMP, HASTAT_DO_DU, 0, 20, 0, 16, 0},
        {"underrun without residual", 0, 0x00, 20, 0, 18, false, SS_COMP, HASTAT_DO_DU, 0, 20, 0,
         36, 0},
        {"driver claims more than asked", 0, 0x00, 5000, 0, 18, false, SS_COMP, 0, 0, 36, 0, 36, 0},
        {"check condition", 0, 0x02, 0, 18, 18, false, SS_ERR, 0, 2, 0, 18, 36, 0},
        {"check condition, short sense area", 0, 0x02, 0, 18, 14, false, SS_ERR, 0, 2, 0, 14, 36,
         0},
        {"check condition, sense beyond the request", 0, 0x02, 0, 255, 18, false, SS_ERR, 0, 2, 0,
         18, 36, 0},
        {"busy", 0, 0x08, 0, 0, 18, true, SS_ERR, 0, 8, 0, 0, 36, 0},
        {"cancelled", 995, 0, 0, 0, 18, false, SS_ABORTED, 0, 0, 0, 0, 36, 0},
        {"semaphore time-out", 121, 0, 0, 0, 18, false, SS_ERR, HASTAT_COMMAND_TIMEOUT, 0, 0, 0, 36,
         0},
        {"time-out", 1460, 0, 0, 0, 18, false, SS_ERR, HASTAT_COMMAND_TIMEOUT, 0, 0, 0, 36, 0},
        {"access denied", 5, 0, 0, 0, 18, true, SS_ERR, 0, 0, 0, 0, 36, 0},
        // Wine hands back a Linux SG_IO that timed out as a success with status 0.
        {"good at the time-out", 0, 0x00, 36, 0, 18, true, SS_ERR, HASTAT_COMMAND_TIMEOUT, 0, 0, 0,
         36, 15000},
        {"good just before the time-out", 0, 0x00, 36, 0, 18, true, SS_COMP, 0, 0, 36, 0, 0, 14999},
    };
    for (const auto& c : cases) {
        uint8_t data[36];
        std::memset(data, 0xEE, sizeof data);
        SRB_ExecSCSICmd srb = Block(0x12, 6, SRB_DIR_IN, sizeof data, data);
        srb.SRB_SenseLen = c.senseLen;
        if (c.residual)
            srb.SRB_Flags |= SRB_ENABLE_RESIDUAL_COUNT;
        std::memset(srb.SenseArea, 0xEE, sizeof srb.SenseArea);
        srb.SRB_HaStat = 0x55;
        srb.SRB_TargStat = 0x55;
        PassThroughRequest request;
        ASSERT_EQ(1, request.Build(srb, 0)) << c.name;
        // What a driver leaves in the buffer.
        PassThroughHeader header = HeaderOf(request);
        header.ScsiStatus = c.scsiStatus;
        header.DataTransferLength = c.transferred;
        header.SenseInfoLength = c.senseReturned;
        std::memcpy(request.Buffer(), &header, sizeof header);
        uint8_t* answer = request.Buffer() + header.DataBufferOffset;
        for (uint32_t i = 0; i < sizeof data; ++i)
            answer[i] = static_cast<uint8_t>(i);
        std::memcpy(request.Buffer() + header.SenseInfoOffset, kSense, sizeof kSense);

        request.Ended(c.ioError, c.elapsedMs);
        request.Complete(&srb);
        EXPECT_EQ(c.status, srb.SRB_Status) << c.name;
        EXPECT_EQ(c.hostStatus, srb.SRB_HaStat) << c.name;
        EXPECT_EQ(c.targetStatus, srb.SRB_TargStat) << c.name;
        EXPECT_EQ(c.bufLenAfter, srb.SRB_BufLen) << c.name;
        for (uint32_t i = 0; i < sizeof data; ++i)
            ASSERT_EQ(i < c.dataCopied ? i : 0xEEu, data[i]) << c.name << ", data byte " << i;
        for (uint32_t i = 0; i < sizeof srb.SenseArea; ++i)
            ASSERT_EQ(i < c.senseCopied ? kSense[i] : 0xEE, srb.SenseArea[i])
                << c.name << ", sense byte " << i;
    }
}

TEST(PassThroughRequest, CompleteAbortedTouchesOnlyTheStatuses)
{
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SRB_ExecSCSICmd srb = Block(0x12, 6, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT, 8, data);
    srb.SRB_HaStat = 0x55;
    srb.SRB_TargStat = 0x55;
    PassThroughRequest::CompleteAborted(&srb);
    EXPECT_EQ(SS_ABORTED, srb.SRB_Status);
    EXPECT_EQ(0, srb.SRB_HaStat);
    EXPECT_EQ(0, srb.SRB_TargStat);
    EXPECT_EQ(8u, srb.SRB_BufLen);
    EXPECT_EQ(8, data[7]);
}

} // namespace

// The time-out the system gets: the caller's, else one by kind of command, each longer
// than the downloader's own wait for that command (7.2 s, 30 s for an eject, 9,000 s for
// the firmware write).
TEST(PassThroughRequest, TimeOutByKindOfCommand)
{
    const struct {
        const char* name;
        uint8_t opcode;
        uint8_t flags;
        uint32_t bufLen;
        uint32_t callerSeconds;
        uint32_t expected;
    } cases[] = {
        {"INQUIRY", 0x12, SRB_DIR_IN, 36, 0, 15},
        {"probe, vendor command without data", 0xCB, SRB_DIR_IN, 0, 0, 15},
        {"eject", 0x1B, SRB_DIR_IN, 0, 0, 45},
        {"firmware write, vendor command with data out", 0xCB, SRB_DIR_OUT, 63490, 0, 9060},
        {"WRITE BUFFER", 0x3B, SRB_DIR_OUT, 4096, 0, 9060},
        {"vendor command with data in", 0xD8, SRB_DIR_IN, 2352, 0, 15},
        {"set by the caller", 0xCB, SRB_DIR_OUT, 63490, 5, 5},
        {"set beyond 30 hours", 0x12, SRB_DIR_IN, 36, 200000, 108000},
    };
    std::vector<uint8_t> data(65536);
    for (const auto& c : cases) {
        SRB_ExecSCSICmd srb = Block(c.opcode, 12, c.flags, c.bufLen, data.data());
        PassThroughRequest request;
        ASSERT_EQ(1, request.Build(srb, c.callerSeconds)) << c.name;
        EXPECT_EQ(c.expected, HeaderOf(request).TimeOutValue) << c.name;
    }
}
