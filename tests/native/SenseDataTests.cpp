// Sense data: the fixed format read out of the request's sense area, and the words the
// trace shows for the codes the drive and the ASPI layers report.
#include <gtest/gtest.h>

#include "scsi/SenseData.h"

TEST(SenseData, DescribesTheCodesOfTheDriveAndTheLayers)
{
    struct {
        uint8_t key, asc, ascq;
        const char* expected;
    } cases[] = {
        {0x3, 0x0C, 0x00, "3/0C/00 MEDIUM ERROR: write error"},
        {0x6, 0x29, 0x00, "6/29/00 UNIT ATTENTION: power on, reset or bus device reset occurred"},
        {0x5, 0x53, 0x02, "5/53/02 ILLEGAL REQUEST: medium removal prevented"},
        {0x5, 0x20, 0x00, "5/20/00 ILLEGAL REQUEST: invalid command operation code"},
        {0x5, 0x26, 0x00, "5/26/00 ILLEGAL REQUEST: invalid field in parameter list"},
        {0x2, 0x3A, 0x00, "2/3A/00 NOT READY: medium not present"},
        {0x5, 0x99, 0x01, "5/99/01 ILLEGAL REQUEST"}, // a pair nobody reports: no text
        {0xF, 0x00, 0x00, "F/00/00 KEY 0F: no additional sense information"},
    };
    for (const auto& c : cases) {
        char text[96];
        SenseData::Describe(c.key, c.asc, c.ascq, text, sizeof text);
        EXPECT_STREQ(c.expected, text)
            << "key " << int(c.key) << " asc " << int(c.asc) << " ascq " << int(c.ascq);
    }

    char short_[8];
    SenseData::Describe(0x3, 0x0C, 0x00, short_, sizeof short_);
    EXPECT_STREQ("3/0C/00", short_) << "cut to the buffer, NUL included";
}

TEST(SenseData, ReadsKeyAscAscqFromFixedFormat)
{
    uint8_t area[20] = {0x70, 0, 0xE6, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x01};
    SenseData sense = SenseData::FromArea(area);
    EXPECT_EQ(0x70, sense.responseCode);
    EXPECT_EQ(SenseData::kUnitAttention, sense.key) << "the flag bits above the key are not it";
    EXPECT_EQ(0x29, sense.asc);
    EXPECT_EQ(0x01, sense.ascq);
}
