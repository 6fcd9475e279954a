// The request side of ScsiDevice, natively: no ASPI layer exists here.
#include <gtest/gtest.h>

#include "scsi/ScsiDevice.h"

TEST(ScsiDeviceRequest, BufferCapacityIsCappedAt64KiB)
{
    struct {
        int requested;
        uint32_t expected;
    } cases[] = {{65545, 65536}, {65536, 65536}, {4096, 4096}};
    for (const auto& c : cases) {
        ScsiDevice device(c.requested);
        EXPECT_EQ(c.expected, device.BufferCapacity()) << "requested " << c.requested;
        EXPECT_TRUE(device.HasBuffer());
        EXPECT_EQ(0, device.DataBuffer()[0]);
    }
}

TEST(ScsiDeviceRequest, FreshDeviceReadsAsSucceeded)
{
    ScsiDevice device(65545);
    EXPECT_EQ(1, device.CommandSucceeded());
    EXPECT_EQ(7200u, device.PendingRequest().timeoutMs);
    EXPECT_EQ(0, device.PendingRequest().cdbLength);
    EXPECT_EQ(0, device.DriveCount());
}

TEST(ScsiDeviceRequest, SetCommandBlockCopiesTwelveOrTenBytes)
{
    ScsiDevice device(65545);
    const uint8_t bytes[12] = {0xBE, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    device.SetCommandBlock(bytes, SRB_DIR_OUT, 2352);
    EXPECT_EQ(12, device.PendingRequest().cdbLength);
    EXPECT_EQ(SRB_DIR_OUT, device.PendingRequest().direction);
    EXPECT_EQ(2352u, device.PendingRequest().dataLength);
    EXPECT_EQ(0, memcmp(bytes, device.PendingRequest().cdb, 12));

    const uint8_t ten[10] = {0x28, 0, 0, 0, 0x10, 0, 0, 0, 1, 0};
    device.SetCommandBlock10(ten, SRB_DIR_IN, 2048);
    EXPECT_EQ(10, device.PendingRequest().cdbLength);
    EXPECT_EQ(0, memcmp(ten, device.PendingRequest().cdb, 10));
    EXPECT_EQ(10, device.PendingRequest().cdb[10]) << "bytes past the tenth are left alone";
}

TEST(ScsiDeviceRequest, WithoutAspiEveryCommandFails)
{
    ScsiDevice device(65545);
    EXPECT_EQ(0, device.GetAdapterCount());
    const uint8_t tur[12] = {0};
    device.SetCommandBlock(tur, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    device.DiscoverDrives();
    EXPECT_EQ(0, device.DriveCount());
    EXPECT_EQ(0, device.AdapterId());
    EXPECT_EQ(0, device.TargetId());
}
