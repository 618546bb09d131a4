// Several files read at once, one per thread: the header walk and report,
// the reader's element walk, the whole image and the picture of each file,
// over and over, must equal what one thread alone makes of them. Under
// ThreadSanitizer (the tsan preset) any data race fails the run.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "image/single.h"
#include "reader/dicom_reader.h"
#include "series/folder_scan.h"
#include "viewer/display.h"
#include "viewer/header_walk.h"
#include "viewer/image_step.h"
#include "viewer/read_ahead.h"
#include "viewer/report.h"

namespace {

const std::string samples = VELMOR_PYDICOM_FILES;

// One file of each kind of pixel data.
const char* const files[] = {
    "CT_small.dcm",                  // native
    "MR_small_RLE.dcm",              // RLE
    "SC_rgb_jpeg_gdcm.dcm",          // lossless JPEG
    "JPEG-lossy.dcm",                // 12-bit DCT JPEG
    "SC_rgb_jpeg_dcmtk.dcm",         // baseline JPEG
    "MR_small_jpeg_ls_lossless.dcm", // JPEG-LS
    "MR_small_jp2klossless.dcm",     // JPEG 2000
    "image_dfl.dcm",                 // deflated data set
};

// Everything the program makes of one file, as text and bytes.
struct Outputs {
    std::string report;
    std::string elements;
    std::string pixels;
    std::string picture;

    bool operator==(const Outputs&) const = default;
};

std::string report_of(const std::string& path)
{
    FileCheck check{};
    std::FILE* file = check_dicom_file(path.c_str(), check);
    if (file == nullptr) {
        return "not opened";
    }
    ViewerState state;
    HeaderListing listing;
    walk_header(file, listing, state);
    std::fclose(file);
    const MemoLines memo = [&](const std::function<void(std::string&)>& put) {
        listing.dump.lines(0, listing.dump.line_count(), put);
    };
    return build_report_from(memo, listing.grid, state.next_row, ReportEncoding::cp932);
}

std::string elements_of(const std::string& path)
{
    DicomReader reader;
    std::string text;
    if (reader.open(path.c_str()) != 0) {
        return "not opened";
    }
    while (const ELEMENT* e = reader.element()) {
        text += std::to_string(e->offset) + " " + std::to_string(e->group) + "," + std::to_string(e->element) +
                " " + std::to_string(e->length) + " " + std::to_string(e->sq_depth) + "\n";
        if (reader.skip() != 0) {
            break;
        }
    }
    return text;
}

std::string pixels_of(const std::string& path)
{
    ImageSource source;
    if (source.open(path)) {
        return "not opened";
    }
    const single_image* image = source.image();
    if (image == nullptr) {
        return source.failure().message;
    }
    return std::string(reinterpret_cast<const char*>(image->pixels), image->pixel_bytes);
}

std::string picture_of(const std::string& path)
{
    auto picture = std::make_unique<DisplayPicture>();
    FrameInfo info;
    if (load_display_image(path.c_str(), 0, *picture, info) != ImageStepResult::Shown) {
        return "no picture";
    }
    DisplayBitmap bitmap;
    render_display_pixels(*picture, {40, 400}, bitmap);
    const std::vector<uint8_t>& rows = bitmap.rows;
    return std::string(rows.begin(), rows.end());
}

Outputs outputs_of(const std::string& path)
{
    return {report_of(path), elements_of(path), pixels_of(path), picture_of(path)};
}

} // namespace

TEST(ManyFilesAtOnce, EveryThreadGetsWhatOneThreadAloneGets)
{
    log_level = LogLevel::silent;
    std::vector<Outputs> alone;
    for (const char* name : files) {
        alone.push_back(outputs_of(samples + "/" + name));
        EXPECT_GT(alone.back().pixels.size(), 1000U) << name << ": " << alone.back().pixels.substr(0, 200);
        EXPECT_NE(alone.back().picture, "no picture") << name;
    }

    constexpr int rounds = 3;
    std::vector<std::vector<Outputs>> together(std::size(files));
    std::vector<std::thread> threads;
    for (std::size_t f = 0; f < std::size(files); ++f) {
        threads.emplace_back([&, f] {
            for (int r = 0; r < rounds; ++r) {
                together[f].push_back(outputs_of(samples + "/" + files[f]));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t f = 0; f < std::size(files); ++f) {
        for (int r = 0; r < rounds; ++r) {
            const Outputs& got = together[f][static_cast<std::size_t>(r)];
            EXPECT_EQ(got.report, alone[f].report) << files[f];
            EXPECT_EQ(got.elements, alone[f].elements) << files[f];
            EXPECT_TRUE(got.pixels == alone[f].pixels) << files[f];
            EXPECT_TRUE(got.picture == alone[f].picture) << files[f];
        }
    }
    log_level = LogLevel::notice;
}

// The window's background work: images read ahead while the window takes
// others, and a folder scan taken from while it runs.
TEST(ManyFilesAtOnce, ReadAheadAndFolderScanHandOverWhatOneThreadMakes)
{
    log_level = LogLevel::silent;
    const auto rendered = [](const PreparedImage& p) {
        DisplayBitmap bitmap;
        render_display_pixels(*p.picture, {40, 400}, bitmap);
        return std::string(bitmap.rows.begin(), bitmap.rows.end()) + p.file->listing().header_size_text;
    };
    std::vector<ImageKey> keys;
    std::vector<std::string> alone;
    const ViewerState state;
    for (const char* name : files) {
        keys.emplace_back(samples + "/" + name, 0);
        alone.push_back(rendered(*prepare_image(keys.back(), state)));
    }
    ReadAhead ahead;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        // Wants the rest, takes one: some are ready, one is being made, some not begun.
        ahead.want(std::vector<ImageKey>(keys.begin() + static_cast<std::ptrdiff_t>(i), keys.end()), state);
        EXPECT_EQ(rendered(*ahead.take(keys[i], state)), alone[i]) << keys[i].first;
        EXPECT_LE(ahead.held(), keys.size() - i);
    }

    FolderScan scan({samples + "/dicomdirtests"});
    std::vector<ScannedFile> taken;
    std::vector<SkippedPath> skipped;
    while (!scan.progress().finished) {
        scan.take(taken, skipped);
    }
    scan.take(taken, skipped);
    EXPECT_EQ(taken.size(), scan_paths({samples + "/dicomdirtests"}).files.size());
    log_level = LogLevel::notice;
}
