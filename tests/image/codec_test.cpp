// The codecs of compressed frames through the registry: which syntax each
// reads, the in-memory adapters against what extraction gives, and the checks
// every codec makes before it writes anything.
#include "image/codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include <zlib.h>

#include "image/single.h"
#include "reader/dicom_reader.h"
#include "reader/transfer_syntax.h"
#include "test_support.h"
#include "tests/jpeg/stream_builder.h"

using namespace image_test;

namespace {

const std::string files = VELMOR_PYDICOM_FILES;

// The first frame's fragment of a real single-fragment file, and its format.
struct RealFrame {
    Bytes data;
    frame_format format{};
};

RealFrame first_fragment(const std::string& name)
{
    RealFrame frame;
    const single_image* image = nullptr;
    EXPECT_EQ(dicom_open((files + "/" + name).c_str()), 0);
    image = dicom_single(); // the record's fields, from a first pass
    EXPECT_NE(image, nullptr) << name;
    if (image != nullptr) {
        frame.format = {image->rows,
                        image->columns,
                        image->samples_per_pixel,
                        image->bits_allocated,
                        image->bits_stored,
                        image->pixel_representation,
                        image->planar_configuration,
                        image->photometric};
    }
    dicom_single_free();
    dicom_close();
    // Second pass: the pixel data's second item (the first is the offset table).
    EXPECT_EQ(dicom_open((files + "/" + name).c_str()), 0);
    int items = 0;
    while (ELEMENT* element = dicom_element()) {
        const bool item = element->group == 0xFFFE && element->element == 0xE000 && element->encapsulated != 0;
        if (item && ++items == 2) {
            frame.data.resize(element->length);
            const std::size_t got =
                std::fread(frame.data.data(), 1, frame.data.size(), dicom_default_reader().state().reader_stream);
            frame.data.resize(got);
            break;
        }
        if (element->length != UNDEFINED_LENGTH && dicom_skip() != 0) {
            break;
        }
    }
    dicom_close();
    return frame;
}

// What the file path extracts for the same file.
Bytes extracted(const std::string& name)
{
    Bytes pixels;
    EXPECT_EQ(dicom_open((files + "/" + name).c_str()), 0);
    const single_image* image = dicom_single();
    if (image != nullptr && image->pixels != nullptr) {
        pixels.assign(image->pixels, image->pixels + image->pixel_bytes);
    }
    dicom_single_free();
    dicom_close();
    return pixels;
}

} // namespace

TEST(CodecRegistry, EachCompressedSyntaxHasItsFamily)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1.2.840.10008.1.2.4.50", "JPEG"},
        {"1.2.840.10008.1.2.4.51", "JPEG"},
        {"1.2.840.10008.1.2.4.57", "lossless JPEG"},
        {"1.2.840.10008.1.2.4.70", "lossless JPEG"},
        {"1.2.840.10008.1.2.4.80", "JPEG-LS"},
        {"1.2.840.10008.1.2.4.81", "JPEG-LS"},
        {"1.2.840.10008.1.2.4.90", "JPEG 2000"},
        {"1.2.840.10008.1.2.4.91", "JPEG 2000"},
        {"1.2.840.10008.1.2.4.201", "JPEG 2000"},
        {"1.2.840.10008.1.2.4.202", "JPEG 2000"},
        {"1.2.840.10008.1.2.4.203", "JPEG 2000"},
        {"1.2.840.10008.1.2.5", "RLE"},
        {"1.2.840.10008.1.2.4.110", "JPEG XL"},
        {"1.2.840.10008.1.2.4.111", "JPEG XL"},
        {"1.2.840.10008.1.2.4.112", "JPEG XL"},
        {"1.2.840.10008.1.2.8.1", "Deflate"},
        {"1.2.840.10008.1.2.1.98", "Encapsulated uncompressed"},
    };
    for (const auto& [uid, name] : cases) {
        const frame_codec* codec = codec_for_transfer_syntax(uid.c_str());
        ASSERT_NE(codec, nullptr) << uid;
        EXPECT_EQ(codec->name, name) << uid;
    }
    // A stored value's padding is not part of the UID; prefixes are not UIDs.
    EXPECT_NE(codec_for_transfer_syntax(std::string("1.2.840.10008.1.2.5\0", 20).c_str()), nullptr);
    EXPECT_NE(codec_for_transfer_syntax("1.2.840.10008.1.2.4.50 "), nullptr);
    for (const char* uid : std::initializer_list<const char*>{"1.2.840.10008.1.2.1", "1.2.840.10008.1.2.4.5",
                                                              "1.2.840.10008.1.2.4.100", "", nullptr}) {
        EXPECT_EQ(codec_for_transfer_syntax(uid), nullptr) << (uid ? uid : "null");
    }
    EXPECT_STREQ(transfer_syntax_name("1.2.840.10008.1.2.4.203"), "High-Throughput JPEG 2000 Image Compression");
    EXPECT_EQ(unsupported_transfer_syntax_message("1.2.3"), "Unsupported transfer syntax UID");
}

TEST(CodecRegistry, MemoryAdaptersAndTheirBandsGiveWhatExtractionGives)
{
    for (const auto& [name, uid] : {std::pair{"SC_rgb_jpeg_gdcm.dcm", "1.2.840.10008.1.2.4.70"},
                                    std::pair{"MR_small_RLE.dcm", "1.2.840.10008.1.2.5"},
                                    std::pair{"MR_small_jp2klossless.dcm", "1.2.840.10008.1.2.4.90"},
                                    std::pair{"GDCMJ2K_TextGBR.dcm", "1.2.840.10008.1.2.4.90"}}) {
        const RealFrame frame = first_fragment(name);
        const Bytes expected = extracted(name);
        ASSERT_FALSE(expected.empty()) << name;
        Bytes slot(expected.size(), 0xEE);
        frame_layout layout{frame.format.photometric, frame.format.planar_configuration};
        const frame_codec* codec = codec_for_transfer_syntax(uid);
        EXPECT_EQ(
            codec->decode(frame.data.data(), frame.data.size(), frame.format, slot.data(), slot.size(), layout), 0)
            << name;
        EXPECT_EQ(slot, expected) << name;
        if (codec->decode_bands != nullptr) {
            Bytes bands;
            const band_sink sink{[](void* context, const uint8_t* rows, std::size_t size) {
                                     auto& to = *static_cast<Bytes*>(context);
                                     to.insert(to.end(), rows, rows + size);
                                     return true;
                                 },
                                 &bands};
            EXPECT_EQ(
                codec->decode_bands(frame.data.data(), frame.data.size(), frame.format, slot.size(), sink, layout),
                0);
            EXPECT_EQ(bands, expected) << name;
        }
    }
}

TEST(CodecRegistry, LosslessJpegRowsNeverReachedAreZero)
{
    const ljpeg_test::Image image = ljpeg_test::MakeImage(6, 6, 1, 8, 4);
    ljpeg_test::EncodeOptions options;
    options.restartRows = 2;
    options.restartNumbers = {0, 2}; // decoding stops after row 4
    const Bytes stream = ljpeg_test::Encode(image, options);
    const frame_format format{6, 6, 1, 8, 8, 0, 0, PHOTOMETRIC_MONOCHROME2};
    Bytes slot(36, 0xEE);
    frame_layout layout{};
    const LogCapture log(LogLevel::error);
    ASSERT_EQ(codec_for_transfer_syntax("1.2.840.10008.1.2.4.70")
                  ->decode(stream.data(), stream.size(), format, slot.data(), slot.size(), layout),
              0);
    EXPECT_EQ(Bytes(slot.begin() + 24, slot.end()), Bytes(12, 0));
}

TEST(CodecChecks, FramesUnlikeTheDataSetAreRefusedBeforeAnythingIsWritten)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"SC_rgb_jpeg_dcmtk.dcm", "1.2.840.10008.1.2.4.50"},
        {"MR_small_jpeg_ls_lossless.dcm", "1.2.840.10008.1.2.4.80"},
        {"MR_small_jp2klossless.dcm", "1.2.840.10008.1.2.4.90"},
    };
    for (const auto& [name, uid] : cases) {
        SCOPED_TRACE(name);
        const RealFrame frame = first_fragment(name);
        const frame_codec* codec = codec_for_transfer_syntax(uid.c_str());
        codestream_header header{};
        ASSERT_TRUE(codec->read_header(frame.data.data(), frame.data.size(), header));
        EXPECT_EQ(header.rows, frame.format.rows);
        EXPECT_EQ(header.columns, frame.format.columns);
        EXPECT_EQ(header.components, frame.format.samples_per_pixel);

        frame_format taller = frame.format;
        taller.rows = static_cast<uint16_t>(taller.rows + 1);
        frame_format wider_samples = frame.format;
        wider_samples.samples_per_pixel = static_cast<uint16_t>(4 - wider_samples.samples_per_pixel);
        frame_format narrower = frame.format;
        narrower.bits_allocated = static_cast<uint16_t>(narrower.bits_allocated == 8 ? 1 : 8);
        for (const frame_format& format : {taller, wider_samples, narrower}) {
            const LogCapture log(LogLevel::error);
            const std::size_t size = std::size_t{format.rows} * format.columns * format.samples_per_pixel *
                                     ((format.bits_allocated + 7U) / 8U);
            Bytes slot(size, 0xEE);
            frame_layout layout{format.photometric, format.planar_configuration};
            EXPECT_EQ(
                codec->decode(frame.data.data(), frame.data.size(), format, slot.data(), slot.size(), layout), -1);
            EXPECT_EQ(slot, Bytes(size, 0xEE));
            EXPECT_FALSE(log.text().empty());
        }
        // A slot of the wrong size is refused too.
        Bytes small(16, 0xEE);
        frame_layout layout{};
        EXPECT_EQ(
            codec->decode(frame.data.data(), frame.data.size(), frame.format, small.data(), small.size(), layout),
            -1);
        EXPECT_EQ(small, Bytes(16, 0xEE));
    }
}

TEST(CodecChecks, CutAndDamagedFramesStayInsideTheirBytesAndSlot)
{
    // Every codec family on every cut of a real frame, and with bytes
    // flipped: any status, but the sanitizer build sees no access outside.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"SC_rgb_dcmtk_+eb+cy+s2.dcm", "1.2.840.10008.1.2.4.50"},
        {"MR_small_jpeg_ls_lossless.dcm", "1.2.840.10008.1.2.4.80"},
        {"GDCMJ2K_TextGBR.dcm", "1.2.840.10008.1.2.4.90"},
    };
    log_level = LogLevel::silent;
    for (const auto& [name, uid] : cases) {
        const RealFrame frame = first_fragment(name);
        const frame_codec* codec = codec_for_transfer_syntax(uid.c_str());
        const std::size_t slot_size = std::size_t{frame.format.rows} * frame.format.columns *
                                      frame.format.samples_per_pixel * (frame.format.bits_allocated / 8U);
        const std::size_t step = std::max<std::size_t>(1, frame.data.size() / 97);
        for (std::size_t cut = 0; cut < frame.data.size(); cut += step) {
            auto exact = std::make_unique<uint8_t[]>(cut + 1);
            std::memcpy(exact.get(), frame.data.data(), cut);
            auto slot = std::make_unique<uint8_t[]>(slot_size);
            frame_layout layout{};
            codec->decode(exact.get(), cut, frame.format, slot.get(), slot_size, layout);
            Bytes flipped = frame.data;
            flipped[cut] = static_cast<uint8_t>(flipped[cut] ^ 0x5A);
            codec->decode(flipped.data(), flipped.size(), frame.format, slot.get(), slot_size, layout);
            if (codec->decode_reduced != nullptr) {
                // Reduced to a quarter: never more samples than it announces.
                reduced_frame reduced;
                for (const Bytes& data : {Bytes(exact.get(), exact.get() + cut), flipped}) {
                    if (codec->decode_reduced(data.data(), data.size(), frame.format, frame.format.columns / 4U,
                                              frame.format.rows / 4U, reduced, layout) == 0) {
                        EXPECT_EQ(reduced.pixels.size(), std::size_t{reduced.columns} * reduced.rows *
                                                             frame.format.samples_per_pixel *
                                                             (frame.format.bits_allocated / 8U));
                    }
                }
            }
        }
    }
    log_level = LogLevel::notice;
}

namespace {

Bytes raw_deflate(const Bytes& bytes)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, bytes.size()));
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

TEST(FrameSyntaxCodecs, FramesMustHoldExactlyTheImage)
{
    const frame_format format{3, 5, 1, 16, 12, 0, 0, PHOTOMETRIC_MONOCHROME2};
    Bytes frame(30);
    for (std::size_t k = 0; k < frame.size(); ++k) {
        frame[k] = static_cast<uint8_t>(k * 7 + 1);
    }
    Bytes padded = frame;
    padded.push_back(0);
    const Bytes shorter(frame.begin(), frame.end() - 2);
    const frame_codec* deflated = codec_for_transfer_syntax("1.2.840.10008.1.2.8.1");
    const frame_codec* native = codec_for_transfer_syntax("1.2.840.10008.1.2.1.98");
    ASSERT_NE(deflated, nullptr);
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(deflated->read_header, nullptr);
    EXPECT_EQ(native->read_header, nullptr);
    Bytes stream = raw_deflate(frame);
    stream.push_back(0); // a fragment's padding byte after the stream
    struct Case {
        const frame_codec* codec;
        Bytes data;
        int status;
    };
    const std::vector<Case> cases = {
        {deflated, stream, 0},
        {native, frame, 0},
        {native, padded, 0},
        {deflated, raw_deflate(shorter), -1},
        {deflated, raw_deflate(padded), -1},
        {deflated, Bytes(stream.begin(), stream.end() - 4), -1},
        {deflated, Bytes(40, 0xFF), -1},
        {deflated, Bytes{}, -1},
        {native, shorter, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.codec->name << " " << c.data.size() << " bytes");
        const LogCapture log(LogLevel::error);
        Bytes slot(frame.size(), 0xEE);
        frame_layout layout{};
        EXPECT_EQ(c.codec->decode(c.data.data(), c.data.size(), format, slot.data(), slot.size(), layout),
                  c.status);
        EXPECT_EQ(slot, c.status == 0 ? frame : Bytes(frame.size(), 0)); // a failure leaves no stale bytes
        EXPECT_EQ(log.text().empty(), c.status == 0) << log.text();
    }
    // Samples not whole bytes, or a slot unlike the frame, are refused untouched.
    frame_format packed = format;
    packed.bits_allocated = 1;
    for (const frame_codec* codec : {deflated, native}) {
        Bytes slot(frame.size(), 0xEE);
        frame_layout layout{};
        EXPECT_EQ(codec->decode(frame.data(), frame.size(), packed, slot.data(), slot.size(), layout), -1);
        EXPECT_EQ(codec->decode(frame.data(), frame.size(), format, slot.data(), slot.size() - 1, layout), -1);
        EXPECT_EQ(slot, Bytes(frame.size(), 0xEE));
    }
}
