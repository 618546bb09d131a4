#include "fuzz_targets.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <zlib.h>

#include "base/log.h"
#include "browser/byte_link.h"
#include "browser/fold_state.h"
#include "browser/header_diff.h"
#include "browser/row_copy.h"
#include "browser/row_find.h"
#include "browser/tag_path.h"
#include "browser/tag_query.h"
#include "document/encapsulated_document.h"
#include "document/report_lines.h"
#include "document/structured_report.h"
#include "export/data_set.h"
#include "export/json_reader.h"
#include "export/json_writer.h"
#include "export/xml_writer.h"
#include "fuzz_input.h"
#include "image/codec.h"
#include "image/codec_video.h"
#include "image/rle.h"
#include "image/single.h"
#include "image/video_stream.h"
#include "jpeg/dct.h"
#include "jpeg/ljpeg.h"
#include "pacs/multipart.h"
#include "reader/dicom_reader.h"
#include "reader/inflate_view.h"
#include "series/dicomdir.h"
#include "series/scan_fields.h"
#include "series/series.h"
#include "view/measurement.h"
#include "view/readout.h"
#include "viewer/charset.h"
#include "viewer/encoding.h"
#include "viewer/header_walk.h"
#include "viewer/image_step.h"
#include "viewer/open_pipeline.h"
#include "viewer/picture_render.h"
#include "viewer/report.h"
#include "viewer/window_choices.h"

void fuzz_reader_walk(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr || dicom_open(path) != 0) {
        dicom_close();
        return;
    }
    static constexpr int32_t hints[] = {VR_US, VR_UL, VR_CS, VR_FD, VR_OW, VR_AT, VR_DS, VR_OB};
    unsigned n = 0;
    while (ELEMENT* e = dicom_element()) {
        // The record keeps the last value it held (the transfer syntax
        // belongs to the reader): a caller clears it before loading.
        e->value = nullptr;
        if (n % 3 == 2) {
            dicom_skip();
        } else if (dicom_load(hints[n % 8]) == 0 && e->value != nullptr) {
            dicom_clean();
            std::free(e->value);
            e->value = nullptr;
        }
        ++n;
    }
    dicom_close();
}

void fuzz_single(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const char* path = write_fuzz_input(data, size);
    if (path != nullptr && dicom_open(path) == 0) {
        dicom_single();
        dicom_single_free();
    }
    dicom_close();
}

void fuzz_frames(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 1) {
        return;
    }
    const char* path = write_fuzz_input(data + 1, size - 1);
    if (path != nullptr && dicom_open(path) == 0) {
        if (data[0] == 255) {
            dicom_single_threads(2);
            dicom_single();
            dicom_single_threads(1);
        } else if (data[0] == 254) {
            // Into a sink: the pieces cover the image exactly once.
            struct pieces final : pixel_sink {
                std::vector<std::pair<uint64_t, std::size_t>> taken;
                bool put(uint64_t offset, const uint8_t* /*bytes*/, std::size_t count) override
                {
                    taken.emplace_back(offset, count);
                    return true;
                }
            } sink;
            dicom_single_threads(2);
            const single_image* image = dicom_single_to(sink);
            dicom_single_threads(1);
            std::sort(sink.taken.begin(), sink.taken.end());
            uint64_t end = 0;
            bool gap = false;
            for (const auto& [offset, count] : sink.taken) {
                if (offset < end) {
                    __builtin_trap(); // a byte given twice
                }
                gap = gap || offset > end;
                end = offset + count;
            }
            if (image != nullptr && (gap || end != image->pixel_bytes)) {
                __builtin_trap();
            }
        } else if (data[0] == 253) {
            // An image source's frames on demand, after the first, come from
            // what its first walk found: each must equal the frame a fresh
            // walk extracts, or fail as that walk fails.
            ImageSource source;
            if (!source.open(path)) {
                for (const int32_t index : {0, 2, 1, 0}) {
                    const single_image* frame = source.frame(index);
                    const std::vector<uint8_t> on_demand =
                        frame != nullptr && frame->pixels != nullptr
                            ? std::vector<uint8_t>(frame->pixels, frame->pixels + frame->pixel_bytes)
                            : std::vector<uint8_t>();
                    dicom_close();
                    const single_image* fresh = dicom_open(path) == 0 ? dicom_single_frame(index) : nullptr;
                    if ((fresh != nullptr) != (frame != nullptr) ||
                        (fresh != nullptr && fresh->pixels != nullptr &&
                         (fresh->pixel_bytes != on_demand.size() ||
                          !std::equal(on_demand.begin(), on_demand.end(), fresh->pixels)))) {
                        __builtin_trap();
                    }
                    dicom_single_free();
                }
            }
        } else {
            dicom_single_frame(data[0]);
        }
        dicom_single_free();
    }
    dicom_close();
}

void fuzz_rle(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 2) {
        return;
    }
    const std::size_t slot_size = static_cast<std::size_t>(data[0]) * 64 + data[1];
    // Read in place from an exactly sized copy: a read past the frame's last
    // byte is caught.
    const std::unique_ptr<uint8_t[]> frame(new uint8_t[size - 2]);
    std::memcpy(frame.get(), data + 2, size - 2);
    std::vector<uint8_t> slot(slot_size);
    rle_decode_frame(frame.get(), size - 2, 0, slot.data(), slot.size());
}

void fuzz_video_stream(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 2) {
        return;
    }
    const auto codec = static_cast<video_codec>(data[0] % 3);
    const auto side = static_cast<uint16_t>(((data[1] & 0x1F) + 1) * 8);
    const bool decode = (data[1] & 0x80) != 0;
    std::string error;
    std::optional<video_stream> stream = video_stream::assemble({data + 2, data + size}, error);
    if (!stream || !stream->index(codec, error)) {
        return;
    }
    for (const video_picture& picture : stream->pictures()) {
        if (picture.size > stream->size() || picture.offset > stream->size() - picture.size) {
            __builtin_trap();
        }
    }
    if (!stream->pictures().front().key) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < stream->pictures().size(); ++i) {
        const std::size_t key = stream->key_before(i);
        if (key > i || !stream->pictures()[key].key) {
            __builtin_trap();
        }
    }
    if (!decode) {
        return;
    }
    std::unique_ptr<video_decoder> decoder = video_decoder::open(codec, std::move(*stream), side, side, error);
    if (!decoder) {
        return;
    }
    // An exactly sized frame: a write past it is caught.
    const std::unique_ptr<uint8_t[]> rgb(new uint8_t[decoder->frame_bytes()]);
    for (const int32_t number : {0, decoder->frames() - 1, 0}) {
        (void)decoder->decode(number, rgb.get());
    }
}

void fuzz_ljpeg(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 3) {
        return;
    }
    static constexpr int32_t depths[] = {8, 16, 24, 32};
    const int32_t depth = depths[data[0] % 4];
    const std::size_t slot_size = static_cast<std::size_t>(data[1]) * 256 + data[2];
    std::vector<uint8_t> slot(slot_size);
    const int32_t status = LosslessJpegDecodeBuffer(data + 3, size - 3, slot.data(), depth, slot.size());

    // The same stream in bands: never more than the slot, and the bytes the
    // zero-filled slot got (rows never reached are zero in both).
    struct collected {
        std::vector<uint8_t> bytes;
        std::size_t limit;
    } bands{{}, slot_size};
    const int32_t banded = LosslessJpegDecodeBands(
        data + 3, size - 3, depth, slot_size,
        [](void* context, const uint8_t* rows, std::size_t count) {
            auto& to = *static_cast<collected*>(context);
            if (count > to.limit - to.bytes.size()) {
                __builtin_trap();
            }
            to.bytes.insert(to.bytes.end(), rows, rows + count);
            return true;
        },
        &bands);
    if (depth != 32 && status != banded) {
        __builtin_trap();
    }
    if (banded == 0 && !std::equal(bands.bytes.begin(), bands.bytes.end(), slot.begin())) {
        __builtin_trap();
    }
}

void fuzz_dct(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 2) {
        return;
    }
    const std::size_t slot_size = (static_cast<std::size_t>(data[0]) << 8 | data[1]) * 16;
    std::vector<uint8_t> slot(slot_size);
    DctJpegDecode(data + 2, size - 2, slot.data(), slot.size());
}

namespace {

// Frames above this many bytes are not decoded: no seed needs them, and the
// fuzzer's memory limit would count them as findings.
constexpr uint64_t largest_fuzzed_frame = uint64_t{64} << 20;

void fuzz_codec(const char* uid, const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const frame_codec* codec = codec_for_transfer_syntax(uid);
    if (codec == nullptr || size < 1) {
        return;
    }
    const uint8_t choice = data[0];
    ++data;
    --size;
    codestream_header header{4, 4, 1, 8, false};
    if (codec->read_header != nullptr) {
        codec->read_header(data, size, header);
    }
    frame_format format{};
    format.rows = static_cast<uint16_t>(header.rows);
    format.columns = static_cast<uint16_t>(header.columns);
    format.samples_per_pixel = static_cast<uint16_t>(header.components);
    const uint16_t widths[] = {8, 16, 32, 16};
    format.bits_allocated = widths[choice >> 6];
    format.bits_stored = static_cast<uint16_t>(header.precision);
    format.pixel_representation = (choice >> 5) & 1U;
    format.photometric = (choice & 0x1F) % photometric_name_count;
    const uint64_t frame =
        uint64_t{format.rows} * format.columns * format.samples_per_pixel * format.bits_allocated / 8;
    if (frame == 0 || frame > largest_fuzzed_frame) {
        return;
    }
    std::vector<uint8_t> slot(static_cast<std::size_t>(frame));
    frame_layout layout{format.photometric, format.planar_configuration};
    const int status = codec->decode(data, size, format, slot.data(), slot.size(), layout);
    if (codec->decode_reduced != nullptr) {
        // Reduced toward a size the input picks: never larger than the frame,
        // exactly the samples it announces, and the whole frame when it is
        // not reduced.
        const auto shift = static_cast<uint32_t>(size % 5);
        reduced_frame reduced;
        frame_layout reduced_layout{format.photometric, format.planar_configuration};
        const int reduced_status = codec->decode_reduced(data, size, format, format.columns >> shift,
                                                         format.rows >> shift, reduced, reduced_layout);
        if (reduced_status == 0) {
            const std::size_t bytes =
                std::size_t{reduced.columns} * reduced.rows * format.samples_per_pixel * format.bits_allocated / 8;
            if (reduced.columns > format.columns || reduced.rows > format.rows || reduced.pixels.size() != bytes ||
                (status == 0 && reduced.columns == format.columns && reduced.rows == format.rows &&
                 reduced.pixels != slot)) {
                __builtin_trap();
            }
        }
    }
    if (codec->decode_bands == nullptr) {
        return;
    }
    // In bands: never past the frame, and the frame the slot got.
    struct collected {
        std::vector<uint8_t> bytes;
        std::size_t limit;
    } bands{{}, slot.size()};
    const band_sink sink{[](void* context, const uint8_t* rows, std::size_t count) {
                             auto& to = *static_cast<collected*>(context);
                             if (count > to.limit - to.bytes.size()) {
                                 __builtin_trap();
                             }
                             to.bytes.insert(to.bytes.end(), rows, rows + count);
                             return true;
                         },
                         &bands};
    frame_layout band_layout{format.photometric, format.planar_configuration};
    const int banded = codec->decode_bands(data, size, format, slot.size(), sink, band_layout);
    if (banded != status || (banded == 0 && bands.bytes != slot)) {
        __builtin_trap();
    }
}

} // namespace

void fuzz_jpeg_codec(const uint8_t* data, std::size_t size) { fuzz_codec("1.2.840.10008.1.2.4.50", data, size); }

void fuzz_jpegls_codec(const uint8_t* data, std::size_t size) { fuzz_codec("1.2.840.10008.1.2.4.80", data, size); }

void fuzz_jpeg2000_codec(const uint8_t* data, std::size_t size)
{
    fuzz_codec("1.2.840.10008.1.2.4.90", data, size);
}

void fuzz_jpegxl_codec(const uint8_t* data, std::size_t size)
{
    fuzz_codec("1.2.840.10008.1.2.4.112", data, size);
}

void fuzz_header_walk(const uint8_t* data, std::size_t size)
{
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr) {
        return;
    }
    FileCheck check{};
    std::FILE* file = check_dicom_file(path, check);
    if (file == nullptr) {
        return;
    }
    ViewerState state;
    HeaderListing listing;
    walk_header(file, listing, state);
    std::fclose(file);
    const std::string report = build_report(listing.dump.all_lines(), listing.grid, state.next_row);
    (void)report;
}

void fuzz_browser(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const std::optional<uint32_t> tag = parse_tag_query(bytes.substr(0, 13))) {
        char text[12];
        std::snprintf(text, sizeof text, "(%04X,%04X)", static_cast<unsigned>(*tag >> 16),
                      static_cast<unsigned>(*tag & 0xFFFF));
        if (parse_tag_query(text) != tag) {
            std::abort();
        }
    }
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr) {
        return;
    }
    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path, check), std::fclose);
    if (!file) {
        return;
    }
    ViewerState state;
    HeaderListing listing;
    walk_header(file.get(), listing, state);
    const std::vector<ElementRow>& rows = listing.rows;

    const RowFinder finder(listing);
    const FindResult found = finder.find(bytes.substr(size > 12 ? size - 12 : 0));
    for (const int32_t match : found.matches) {
        for (int32_t row = match; row >= 0; row = rows[static_cast<std::size_t>(row)].parent) {
            if (!std::binary_search(found.shown.begin(), found.shown.end(), row)) {
                std::abort();
            }
        }
    }

    FoldState folds(rows);
    folds.fold_all();
    const std::vector<int32_t> top = folds.visible_rows();
    const auto top_count =
        std::count_if(rows.begin(), rows.end(), [](const ElementRow& r) { return r.depth == 0; });
    if (static_cast<std::ptrdiff_t>(top.size()) != top_count) {
        std::abort();
    }

    const std::size_t sampled = std::min<std::size_t>(rows.size(), 2000);
    for (std::size_t row = 0; row < sampled; ++row) {
        const auto r = static_cast<int32_t>(row);
        if (tag_path(rows, r).empty() || row_at_offset(rows, rows[row].header_offset) != r) {
            std::abort();
        }
        (void)row_bytes(rows, r, listing.dump.byte_count());
    }
    (void)copy_rows(listing, {0, static_cast<int32_t>(rows.size()) - 1});

    const DiffSide side{listing, file_byte_source(file.get()), state.big_endian_data_set};
    if (!compare_headers(side, side).empty()) {
        std::abort();
    }
}

void fuzz_inflate_view(const uint8_t* data, std::size_t size)
{
    // A meta group naming the deflated syntax, then the fuzzer's bytes as
    // the compressed data set.
    std::string file(128, '\0');
    file += "DICM";
    const std::string uid = deflated_transfer_syntax;
    file += std::string("\x02\x00\x00\x00UL\x04\x00", 8);
    const uint32_t group_length = 8 + static_cast<uint32_t>(uid.size());
    for (int shift = 0; shift < 32; shift += 8) {
        file += static_cast<char>((group_length >> shift) & 0xFF);
    }
    file += std::string("\x02\x00\x10\x00UI", 6);
    file += static_cast<char>(uid.size());
    file += '\0';
    file += uid;
    file.append(reinterpret_cast<const char*>(data), size);
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    fuzz_reader_walk(bytes, file.size());
    fuzz_header_walk(bytes, file.size());
}

void fuzz_charset(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos || newline + 1 >= input.size()) {
        return;
    }
    const std::optional<CharacterSet> set = CharacterSet::from_value(input.substr(0, newline));
    if (!set) {
        return;
    }
    const auto selector = static_cast<unsigned char>(input[newline + 1]);
    constexpr TextShape shapes[] = {TextShape::multi_valued, TextShape::single_valued, TextShape::person_name};
    const std::string text = set->decode(input.substr(newline + 2), shapes[selector % 3], (selector & 4) != 0);
    if (!is_utf8(text)) {
        std::abort(); // the decoder promises UTF-8 whatever the bytes
    }
    (void)utf8_to_cp932(text);
}

void fuzz_picture(const uint8_t* data, std::size_t size)
{
    // The record's fields from the first bytes, then three palette tables of
    // up to 64 words each, then the pixel buffer.
    constexpr std::size_t fields = 32;
    if (size < fields) {
        return;
    }
    const auto u16 = [&](std::size_t at) { return static_cast<uint16_t>(data[at] | data[at + 1] << 8); };
    single_image image{};
    image.photometric = data[0] % (photometric_name_count + 1);
    image.frames = static_cast<int8_t>(data[1]);
    image.columns = u16(2);
    image.rows = u16(4);
    image.samples_per_pixel = data[6] % 5;
    static constexpr uint16_t widths[] = {1, 8, 16, 32, 12, 0};
    image.bits_allocated = widths[data[7] % 6];
    image.bits_stored = data[8] % 40;
    image.pixel_representation = data[9] % 2;
    image.planar_configuration = data[10] % 2;
    image.rescale_slope = static_cast<int8_t>(data[11]) / 4.0;
    image.rescale_intercept = static_cast<int16_t>(u16(12));
    std::size_t at = fields;
    std::vector<uint16_t> tables[3];
    for (int c = 0; c < 3; ++c) {
        palette_table& table = image.palette[c];
        table.entries = u16(14 + 4 * static_cast<std::size_t>(c));
        table.first_mapped = u16(16 + 4 * static_cast<std::size_t>(c)) % 512;
        table.entry_bits = data[26 + c] % 2 == 0 ? 8 : 16;
        const std::size_t bytes = std::min<std::size_t>(data[29 + c] % 128, size - at);
        tables[c].assign((bytes + 1) / 2, 0);
        if (bytes > 0) {
            std::memcpy(tables[c].data(), data + at, bytes);
        }
        table.data = data[29 + c] == 0 ? nullptr : tables[c].data();
        table.data_bytes = bytes;
        at += bytes;
    }
    std::vector<uint8_t> pixels(data + at, data + size);
    image.pixels = pixels.empty() ? nullptr : pixels.data();
    image.pixel_bytes = pixels.size();

    auto picture = std::make_unique<DisplayPicture>();
    ImageStepResult result = ImageStepResult::Shown;
    for (const int frame : {0, data[1] % 4}) {
        if (build_display_picture(image, frame, *picture, result)) {
            DisplayBitmap bitmap;
            render_display_pixels(*picture, window_spanning(picture->range), bitmap);
        }
    }
}

namespace {

// Renders the view; any size but the one asked for is a fault.
void render_checked(const FrameImage& frame, const ViewRect& view, int width, int height,
                    const RenderSettings& settings)
{
    ViewSamples samples;
    PictureBitmap bitmap;
    if (!view_samples(frame, view, width, height, samples) || !render_picture(frame, samples, settings, bitmap)) {
        return;
    }
    if (bitmap.pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                                    static_cast<std::size_t>(bitmap.channels)) {
        __builtin_trap();
    }
}

} // namespace

void fuzz_display(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 1) {
        return;
    }
    const char* path = write_fuzz_input(data + 1, size - 1);
    if (path == nullptr) {
        return;
    }
    ViewerState state;
    OpenedFile opened;
    if (!opened.open(path, state)) {
        return;
    }
    for (const int index : {0, data[0] % 4}) {
        FrameImage frame;
        FrameInfo info;
        image_failure failure;
        if (opened.frame(index, frame, info, failure) != ImageStepResult::Shown) {
            continue;
        }
        RenderSettings settings;
        settings.voi = open_voi(frame, info.bits_allocated, {50, 1024, VoiFunction::linear}, false);
        const ViewRect fit = fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing,
                                      frame.column_spacing, display_size, display_size);
        render_checked(frame, fit, display_size, display_size, settings);
        settings.overlays = true;
        settings.invert = true;
        const ViewRect other =
            fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing, frame.column_spacing, 97, 61);
        render_checked(frame, other, 97, 61, settings);
        render_checked(frame, zoom_view(other, 6, 40, 30), 97, 61, settings);
        for (const WindowChoice& choice : window_choices(frame)) {
            settings.voi = choice.setting;
            render_checked(frame, other, 97, 61, settings);
        }
    }
}

namespace {

// Equal values, NaN read from the same text included.
template <typename T>
bool same_bits(const std::optional<T>& a, const std::optional<T>& b)
{
    return a.has_value() == b.has_value() && (!a || std::memcmp(&*a, &*b, sizeof(T)) == 0);
}

} // namespace

void fuzz_series(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr) {
        return;
    }
    std::string reason;
    const std::optional<ScannedFile> file = scan_file(path, reason);
    // The direct walk of common headers reads what the stream reader reads,
    // wherever both read the file.
    std::string reader_reason;
    const std::optional<ScannedFile> read = scan_file_with_reader(path, reader_reason);
    if (file && read &&
        (file->patient_name != read->patient_name || file->patient_id != read->patient_id ||
         file->study_uid != read->study_uid || file->study_date != read->study_date ||
         file->study_description != read->study_description || file->series_uid != read->series_uid ||
         file->series_number != read->series_number || file->modality != read->modality ||
         file->series_description != read->series_description || file->character_set != read->character_set ||
         file->instance_number != read->instance_number || !same_bits(file->position, read->position) ||
         !same_bits(file->orientation, read->orientation) || !same_bits(file->content_time, read->content_time) ||
         !same_bits(file->acquisition_time, read->acquisition_time) || file->frames != read->frames)) {
        __builtin_trap();
    }
    if (!file) {
        if (reason.empty()) {
            __builtin_trap(); // a file passed over says why
        }
        return;
    }
    // The file three times over as slices of one series, one of them moved
    // along z: grouping and every order rule on what the file gave.
    std::vector<ScannedFile> files(3, *file);
    files[1].path += "2";
    files[2].path += "10";
    if (files[2].position) {
        (*files[2].position)[2] += 1.0;
    }
    std::size_t steps = 0;
    for (const Patient& patient : group_series(files)) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                for (const SeriesImage& image : series.images) {
                    if (image.file >= series.files.size()) {
                        __builtin_trap();
                    }
                }
                steps += series.images.size();
            }
        }
    }
    if (steps != 3 * static_cast<std::size_t>(std::max(file->frames, 1))) {
        __builtin_trap(); // every frame of every file is a step, once
    }
}

namespace {

// A medium in memory-backed storage: the DICOMDIR and the files it may name,
// removed again when the fuzzer exits.
struct FuzzMedium {
    std::filesystem::path folder = "/dev/shm/velmor-fuzz-medium-" + std::to_string(getpid());
    FuzzMedium()
    {
        for (const char* file :
             {"77654033/CR1/6154", "77654033/ct2/17106", "pt000000/st000000/se000000/im000000", "a/ct/im1"}) {
            const std::filesystem::path path = folder / file;
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path) << "not read";
        }
    }
    ~FuzzMedium()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

} // namespace

void fuzz_dicomdir(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    static const FuzzMedium medium;
    const std::string path = (medium.folder / "DICOMDIR").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const DicomdirListing listing = read_dicomdir(path);
    if (!listing.error.empty() && (!listing.files.empty() || !listing.skipped.empty())) {
        __builtin_trap(); // an unreadable DICOMDIR lists nothing
    }
    const std::string inside = medium.folder.string() + "/";
    for (const ScannedFile& file : listing.files) {
        if (file.path.rfind(inside, 0) != 0 || file.path.find("/../") != std::string::npos ||
            file.path.find("/./") != std::string::npos || file.series_uid.empty()) {
            __builtin_trap(); // a listed file lies on the medium and has a series
        }
    }
    for (const SkippedPath& skipped : listing.skipped) {
        if (skipped.reason.empty()) {
            __builtin_trap();
        }
    }
    std::size_t steps = 0;
    for (const Patient& patient : group_series(listing.files)) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                steps += series.files.size();
            }
        }
    }
    if (steps != listing.files.size()) {
        __builtin_trap(); // every listed file is in one series
    }
}

void fuzz_view_attributes(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr) {
        return;
    }
    const ViewAttributes a = read_view_attributes(path).attributes;
    // Rulers across each region, corner to corner, and one across a frame of
    // the file's spacing.
    std::vector<std::pair<FramePoint, FramePoint>> rulers = {{{0.5, 0.5}, {100.5, 40.5}}};
    for (const UltrasoundRegion& r : a.ultrasound_regions) {
        rulers.push_back({{r.min_x + 0.5, r.min_y + 0.5}, {r.max_x + 0.5, r.max_y + 0.5}});
    }
    for (const auto& [from, to] : rulers) {
        const Distance d = measure_distance(a, from, to);
        if (std::isnan(d.length) || d.length < 0.0 || distance_text(d).empty()) {
            __builtin_trap();
        }
    }
    const std::vector<int32_t> samples = {-2000, 0, 7, 65535, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::optional<Readout> r = read_out(stored_frame(samples, 4, 4), a, {3.5, 2.5}, 2);
    if (!r || r->stored.size() != 1 || readout_text(*r).empty()) {
        __builtin_trap();
    }
}

void fuzz_model(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr) {
        return;
    }
    const uint8_t choice = size > 0 ? data[size - 1] : 0;
    ReadOptions read;
    read.bulk_threshold = (choice & 1) != 0 ? 1U << 20 : choice;
    read.pixel_data = (choice & 2) != 0;
    const ReadResult result = read_data_set(path, read);
    ModelOptions options;
    options.file_path = path;
    for (const bool pretty : {false, true}) {
        options.pretty = pretty;
        ModelOutput json(nullptr);
        std::vector<ModelWarning> warnings;
        write_json(result.data_set, options, json, warnings);
        if (!is_utf8(json.text())) {
            std::abort();
        }
    }
    ModelOutput xml(nullptr);
    write_xml(result.data_set, options, xml);
    if (!is_utf8(xml.text())) {
        std::abort();
    }
}

namespace {

void check_report_lines(const ReportLookup& lookup)
{
    if (!lookup.error.empty()) {
        return;
    }
    for (const std::string& line : report_lines(lookup.report)) {
        if (!is_utf8(line)) {
            std::abort();
        }
    }
}

} // namespace

void fuzz_document(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr) {
        return;
    }
    ReadOptions read;
    read.bulk_threshold = size > 0 ? data[size - 1] : 0;
    const ReadResult result = read_data_set(path, read);
    const DocumentLookup lookup = find_document(result.data_set, path);
    if (lookup.error.empty()) {
        const EncapsulatedDocument& document = lookup.document;
        if (document.length > document.value_length) {
            std::abort();
        }
        char* copied = nullptr;
        std::size_t copied_size = 0;
        if (std::FILE* out = open_memstream(&copied, &copied_size)) {
            const std::string error = copy_document(document, path, out);
            std::fclose(out);
            if (error.empty() && copied_size != document.length) {
                std::abort();
            }
            std::free(copied);
        }
    }
    check_report_lines(read_structured_report(result.data_set));
    check_report_lines(read_structured_report(path));
}

void fuzz_frame_syntax_codec(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    if (size < 3) {
        return;
    }
    const bool deflated = (data[0] & 0x80U) == 0;
    const frame_codec* codec =
        codec_for_transfer_syntax(deflated ? "1.2.840.10008.1.2.8.1" : "1.2.840.10008.1.2.1.98");
    const uint16_t widths[] = {8, 16, 32, 16};
    frame_format format{};
    format.rows = data[1];
    format.columns = data[2];
    format.samples_per_pixel = (data[0] & 0x10U) != 0 ? 3 : 1;
    format.bits_allocated = widths[(data[0] >> 5) & 3U];
    format.bits_stored = format.bits_allocated;
    format.photometric = format.samples_per_pixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MONOCHROME2;
    data += 3;
    size -= 3;
    const std::size_t frame =
        std::size_t{format.rows} * format.columns * format.samples_per_pixel * (format.bits_allocated / 8U);
    if (frame == 0) {
        return;
    }
    std::vector<uint8_t> slot(frame, 0xEE);
    frame_layout layout{format.photometric, format.planar_configuration};
    if (codec->decode(data, size, format, slot.data(), slot.size(), layout) != 0) {
        if (std::count(slot.begin(), slot.end(), 0) != static_cast<std::ptrdiff_t>(slot.size())) {
            __builtin_trap(); // a failed frame leaves zeros, nothing stale
        }
        return;
    }
    // A frame decoded is zlib's inflation of the stream, or the bytes as
    // they are (on a little-endian host).
    std::vector<uint8_t> expected(data, data + std::min(size, frame));
    if (deflated) {
        expected.assign(frame + 1, 0);
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = expected.data();
        stream.avail_out = static_cast<uInt>(expected.size());
        const int status = inflate(&stream, Z_FINISH);
        const std::size_t made = stream.total_out;
        inflateEnd(&stream);
        if (status != Z_STREAM_END || made != frame) {
            __builtin_trap();
        }
        expected.resize(frame);
    }
    if (std::endian::native == std::endian::little && expected != slot) {
        __builtin_trap();
    }
}

namespace {

// The parts of one multipart parse, fed whole (seed 0) or in pieces of 1
// to seed + 1 bytes drawn from the seed; nothing when the parse failed.
std::optional<std::vector<std::string>> multipart_parts(std::string_view boundary, std::string_view body,
                                                        uint8_t seed)
{
    std::vector<std::string> parts;
    bool open = false;
    std::size_t handed = 0;
    MultipartSink sink;
    sink.begin_part = [&](std::string&) {
        if (open) {
            __builtin_trap();
        }
        open = true;
        parts.emplace_back();
        return true;
    };
    sink.part_bytes = [&](std::string_view bytes, std::string&) {
        handed += bytes.size();
        if (!open || handed > body.size()) {
            __builtin_trap();
        }
        parts.back() += bytes;
        return true;
    };
    sink.end_part = [&](std::string&) {
        if (!open) {
            __builtin_trap();
        }
        open = false;
        return true;
    };
    MultipartParser parser{std::string(boundary), sink};
    uint32_t state = seed;
    std::size_t at = 0;
    bool ok = true;
    while (ok && at < body.size()) {
        state = state * 1103515245U + 12345U;
        const std::size_t piece = seed == 0 ? body.size() : 1 + (state >> 16) % (1U + seed);
        ok = parser.feed(body.substr(at, piece));
        at += std::min(piece, body.size() - at);
    }
    if (!ok || !parser.finish()) {
        return std::nullopt;
    }
    return parts;
}

} // namespace

void fuzz_multipart(const uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return;
    }
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t line_end = input.find('\n');
    if (line_end == std::string_view::npos) {
        return;
    }
    std::string boundary, error;
    if (!dicom_multipart_boundary(input.substr(0, line_end), boundary, error)) {
        if (error.empty()) {
            __builtin_trap();
        }
        return;
    }
    const std::string_view body = input.substr(line_end + 1);
    const auto pieces = multipart_parts(boundary, body, data[0]);
    const auto whole = multipart_parts(boundary, body, 0);
    if (pieces.has_value() != whole.has_value() || (pieces && *pieces != *whole)) {
        __builtin_trap(); // how the body is cut changes what it holds
    }
}

void fuzz_dicom_json(const uint8_t* data, std::size_t size)
{
    log_level = LogLevel::silent;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<DataSet> sets;
    std::string error;
    if (!read_json(text, sets, error)) {
        if (error.empty() || !sets.empty()) {
            __builtin_trap();
        }
        return;
    }
    ModelOutput out(nullptr);
    std::vector<ModelWarning> warnings;
    out.text() += '[';
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (i != 0) {
            out.text() += ',';
        }
        write_json(sets[i], {}, out, warnings);
    }
    out.text() += ']';
    std::vector<DataSet> again;
    if (!is_utf8(out.text()) || !read_json(out.text(), again, error) || again.size() != sets.size()) {
        __builtin_trap();
    }
}
