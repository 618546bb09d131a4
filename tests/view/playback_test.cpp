// The pace of playing frames: which attribute wins, read from a file's header.
#include <gtest/gtest.h>

#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"
#include "view/playback.h"

namespace {

using test_dicom::DicomBytes;

TEST(PlaybackTest, FrameTimeThenCineRateThenRecommendedRateThenTenASecond)
{
    DicomBytes all = DicomBytes::file("1.2.840.10008.1.2.1");
    all.text(0x0008, 0x2144, "IS", "50").text(0x0018, 0x0040, "IS", "25").text(0x0018, 0x1063, "DS", "33.3");
    ViewAttributes attributes = read_view_attributes(write_temp("all.dcm", all.bytes())).attributes;
    EXPECT_EQ(frame_interval_ms(attributes), 33);
    attributes.frame_time.reset();
    EXPECT_EQ(frame_interval_ms(attributes), 40);
    attributes.cine_rate = 0.0; // not a rate: the next one counts
    EXPECT_EQ(frame_interval_ms(attributes), 20);
    attributes.recommended_frame_rate.reset();
    EXPECT_EQ(frame_interval_ms(attributes), 100);
    attributes.frame_time = -5.0;
    EXPECT_EQ(frame_interval_ms(attributes), 100);
    attributes.frame_time = 1e9; // held to a minute
    EXPECT_EQ(frame_interval_ms(attributes), 60000);
}

} // namespace
