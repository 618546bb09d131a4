// Frames decoded at a reduced resolution for a picture smaller than them:
// their picture against the one of the whole frame through the same stages,
// for pydicom's JPEG 2000 and baseline JPEG files and large frames the peers
// compress at test time; velmor-dump picture's use of them; the whole frame
// decoded in the background.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/log.h"
#include "tests/common/test_temp_dir.h"
#include "viewer/full_frame.h"
#include "viewer/open_pipeline.h"
#include "viewer/picture_render.h"
#include "viewer/window_choices.h"

namespace fs = std::filesystem;

namespace {

const fs::path pydicom_files = VELMOR_PYDICOM_FILES;

class ReducedPicture : public testing::Test {
protected:
    // The peers' large frames, made once for the test program.
    static void SetUpTestSuite()
    {
        folder_ = test_temp_dir();
        const std::string command = "/usr/bin/python3 '" + std::string(VELMOR_TEST_SOURCE) +
                                    "/make_reduced_fixtures.py' '" + folder_.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    static fs::path fixture(const char* name) { return folder_ / name; }

    static inline fs::path folder_;
};

// Frame 0 of `file`, whole or reduced for the 256 x 256 picture.
FrameImage frame_of(const fs::path& file, bool reduced)
{
    ViewerState state;
    OpenedFile opened;
    EXPECT_TRUE(opened.open(file.c_str(), state)) << file;
    FrameImage frame;
    FrameInfo info;
    image_failure failure;
    const PictureSize picture{display_size, display_size};
    EXPECT_EQ(opened.frame(0, frame, info, failure, reduced ? &picture : nullptr), ImageStepResult::Shown) << file;
    return frame;
}

// The 256 x 256 picture of `frame` through `window` (level, width).
PictureBitmap picture_of(const FrameImage& frame, const VoiWindow& window)
{
    RenderSettings settings;
    settings.voi = open_voi(frame, 16, window, true);
    ViewSamples samples;
    PictureBitmap bitmap;
    const ViewRect fit = fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing, frame.column_spacing,
                                  display_size, display_size);
    EXPECT_TRUE(view_samples(frame, fit, display_size, display_size, samples));
    EXPECT_TRUE(render_picture(frame, samples, settings, bitmap));
    return bitmap;
}

// The window spanning the whole frame's values, so that no detail is lost
// to black or white.
VoiWindow spanning(const FrameImage& frame)
{
    return {(frame.range.lowest + frame.range.highest) / 2,
            std::max(frame.range.highest - frame.range.lowest, 2.0), VoiFunction::linear};
}

struct Case {
    fs::path file;
    int reduced_columns; // of the samples the reduced decode holds
    int reduced_rows;
};

// Within 3 gray levels on 99 % of the picture's samples (bands included:
// the frame is placed alike).
void expect_close_pictures(const Case& c)
{
    const FrameImage whole = frame_of(c.file, false);
    const FrameImage reduced = frame_of(c.file, true);
    EXPECT_EQ(reduced.columns, c.reduced_columns) << c.file;
    EXPECT_EQ(reduced.rows, c.reduced_rows) << c.file;
    EXPECT_EQ(reduced.frame_columns, whole.frame_columns);
    EXPECT_EQ(reduced.frame_rows, whole.frame_rows);
    const PictureBitmap expected = picture_of(whole, spanning(whole));
    const PictureBitmap got = picture_of(reduced, spanning(whole));
    ASSERT_EQ(got.pixels.size(), expected.pixels.size()) << c.file;
    std::size_t far = 0;
    for (std::size_t i = 0; i < got.pixels.size(); ++i) {
        far += std::abs(got.pixels[i] - expected.pixels[i]) > 3 ? 1 : 0;
    }
    EXPECT_LE(far * 100, got.pixels.size()) << c.file << ": " << far << " samples differ by more than 3";
}

TEST_F(ReducedPicture, KeepsThePictureOfTheWholeFrame)
{
    log_level = LogLevel::silent;
    const std::vector<Case> cases = {
        {pydicom_files / "693_J2KI.dcm", 256, 256},
        {pydicom_files / "J2K_pixelrep_mismatch.dcm", 512, 512}, // signedness differs: whole
        {pydicom_files / "JPEG2000.dcm", 64, 256},               // 1024 x 256, placed 64 high
        {pydicom_files / "GDCMJ2K_TextGBR.dcm", 400, 400},       // halved it would not cover 256
        {pydicom_files / "SC_rgb_jpeg_dcmtk.dcm", 100, 100},
        {fixture("j2k_lossless.dcm"), 256, 256},
        {fixture("j2k_lossy.dcm"), 256, 256},
        {fixture("jpeg_baseline.dcm"), 256, 256},
        {fixture("jpeg_wide.dcm"), 500, 300}, // placed 256 x 154: an eighth is 250 wide
    };
    for (const Case& c : cases) {
        expect_close_pictures(c);
    }
}

TEST_F(ReducedPicture, AnswersReadoutsInTheFramesPixels)
{
    const FrameImage whole = frame_of(fixture("j2k_lossless.dcm"), false);
    const FrameImage reduced = frame_of(fixture("j2k_lossless.dcm"), true);
    ASSERT_TRUE(reduced.reduced());
    EXPECT_FALSE(whole.reduced());
    ASSERT_TRUE(reduced.value_at(2047, 2047).has_value());
    EXPECT_FALSE(reduced.value_at(2048, 0).has_value());
    // A smooth image: the covering sample is near the pixel's own value.
    EXPECT_NEAR(*reduced.value_at(1024, 700), *whole.value_at(1024, 700),
                (whole.range.highest - whole.range.lowest) / 20);
}

std::vector<uint8_t> read_pgm(const fs::path& path, int& width, int& height)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int most = 0;
    in >> magic >> width >> height >> most;
    in.get();
    std::vector<uint8_t> pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return magic == "P5" ? pixels : std::vector<uint8_t>{};
}

TEST_F(ReducedPicture, DumpPictureDecodesReducedUnlessFull)
{
    const fs::path file = fixture("jpeg_baseline.dcm");
    const fs::path out = test_temp_path("picture.pgm");
    const std::string command = std::string("'") + VELMOR_DUMP + "' picture '" + file.string() + "' '" +
                                out.string() + "' --level 128 --width 256";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> got = read_pgm(out, width, height);
    EXPECT_EQ(picture_of(frame_of(file, true), {128, 256, VoiFunction::linear}).pixels, got);

    ASSERT_EQ(std::system((command + " --size full").c_str()), 0);
    EXPECT_EQ(read_pgm(out, width, height).size(), std::size_t{2048} * 2048);
    EXPECT_EQ(width, 2048);
}

TEST_F(ReducedPicture, WholeFrameFollowsInTheBackground)
{
    log_level = LogLevel::silent;
    std::atomic<bool> ready = false;
    {
        FullFrame job(fixture("j2k_lossy.dcm").string(), 0, [&] { ready = true; });
        const std::optional<FrameImage> full = job.take();
        ASSERT_TRUE(full.has_value());
        EXPECT_TRUE(job.done());
        EXPECT_FALSE(full->reduced());
        EXPECT_EQ(full->samples, frame_of(fixture("j2k_lossy.dcm"), false).samples);
        EXPECT_FALSE(job.take().has_value()); // taken once
    }
    EXPECT_TRUE(ready);

    FullFrame missing((folder_ / "none.dcm").string(), 0);
    EXPECT_FALSE(missing.take().has_value());
    EXPECT_TRUE(missing.failure());
}

} // namespace
