// The transfer syntax table of the DICOM UID registry.
#include "reader/transfer_syntax.h"

#include <cstring>

#include "reader/dicom.h"

namespace {

// clang-format off
constexpr TransferSyntax syntaxes[] = {
    {"1.2.840.10008.1.2", "Implicit VR Little Endian", COMPRESSION_NONE, PixelCodec::none, " : Raw data, Implicit VR, Little Endian"},
    {"1.2.840.10008.1.2.1", "Explicit VR Little Endian", COMPRESSION_NONE, PixelCodec::none, " : Raw data, Explicit VR, Little Endian"},
    {"1.2.840.10008.1.2.1.98", "Encapsulated Uncompressed Explicit VR Little Endian", COMPRESSION_NONE, PixelCodec::encapsulated_native, " : Encapsulated raw data, Explicit VR, Little Endian"},
    {"1.2.840.10008.1.2.1.99", "Deflated Explicit VR Little Endian", COMPRESSION_NONE, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.2", "Explicit VR Big Endian", COMPRESSION_NONE, PixelCodec::none, " : Raw data, Explicit VR, Big Endian"},
    {"1.2.840.10008.1.2.4.50", "JPEG Baseline (Process 1)", COMPRESSION_JPEG_LOSSY, PixelCodec::dct_jpeg, nullptr},
    {"1.2.840.10008.1.2.4.51", "JPEG Extended (Process 2 and 4)", COMPRESSION_JPEG_LOSSY, PixelCodec::dct_jpeg, nullptr},
    {"1.2.840.10008.1.2.4.52", "JPEG Extended (Process 3 and 5)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.53", "JPEG Spectral Selection, Non-Hierarchical (Process 6 and 8)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.54", "JPEG Spectral Selection, Non-Hierarchical (Process 7 and 9)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.55", "JPEG Full Progression, Non-Hierarchical (Process 10 and 12)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.56", "JPEG Full Progression, Non-Hierarchical (Process 11 and 13)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.57", "JPEG Lossless, Non-Hierarchical (Process 14)", COMPRESSION_JPEG_LOSSLESS, PixelCodec::lossless_jpeg, nullptr},
    {"1.2.840.10008.1.2.4.58", "JPEG Lossless, Non-Hierarchical (Process 15)", COMPRESSION_JPEG_LOSSLESS, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.59", "JPEG Extended, Hierarchical (Process 16 and 18)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.60", "JPEG Extended, Hierarchical (Process 17 and 19)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.61", "JPEG Spectral Selection, Hierarchical (Process 20 and 22)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.62", "JPEG Spectral Selection, Hierarchical (Process 21 and 23)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.63", "JPEG Full Progression, Hierarchical (Process 24 and 26)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.64", "JPEG Full Progression, Hierarchical (Process 25 and 27)", COMPRESSION_JPEG_LOSSY, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.65", "JPEG Lossless, Hierarchical (Process 28)", COMPRESSION_JPEG_LOSSLESS, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.66", "JPEG Lossless, Hierarchical (Process 29)", COMPRESSION_JPEG_LOSSLESS, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.70", "JPEG Lossless, Non-Hierarchical, First-Order Prediction (Process 14 [Selection Value 1])", COMPRESSION_JPEG_LOSSLESS, PixelCodec::lossless_jpeg, nullptr},
    {"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless Image Compression", COMPRESSION_OTHER, PixelCodec::jpegls, nullptr},
    {"1.2.840.10008.1.2.4.81", "JPEG-LS Lossy (Near-Lossless) Image Compression", COMPRESSION_OTHER, PixelCodec::jpegls, nullptr},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 Image Compression (Lossless Only)", COMPRESSION_OTHER, PixelCodec::jpeg2000, nullptr},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000 Image Compression", COMPRESSION_OTHER, PixelCodec::jpeg2000, nullptr},
    {"1.2.840.10008.1.2.4.92", "JPEG 2000 Part 2 Multi-component Image Compression (Lossless Only)", COMPRESSION_OTHER, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.93", "JPEG 2000 Part 2 Multi-component Image Compression", COMPRESSION_OTHER, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.94", "JPIP Referenced", COMPRESSION_OTHER, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.95", "JPIP Referenced Deflate", COMPRESSION_OTHER, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.100", "MPEG2 Main Profile / Main Level", COMPRESSION_OTHER, PixelCodec::mpeg2, nullptr},
    {"1.2.840.10008.1.2.4.100.1", "Fragmentable MPEG2 Main Profile / Main Level", COMPRESSION_OTHER, PixelCodec::mpeg2, nullptr},
    {"1.2.840.10008.1.2.4.101", "MPEG2 Main Profile / High Level", COMPRESSION_OTHER, PixelCodec::mpeg2, nullptr},
    {"1.2.840.10008.1.2.4.101.1", "Fragmentable MPEG2 Main Profile / High Level", COMPRESSION_OTHER, PixelCodec::mpeg2, nullptr},
    {"1.2.840.10008.1.2.4.102", "MPEG-4 AVC/H.264 High Profile / Level 4.1", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.102.1", "Fragmentable MPEG-4 AVC/H.264 High Profile / Level 4.1", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.103", "MPEG-4 AVC/H.264 BD-compatible High Profile / Level 4.1", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.103.1", "Fragmentable MPEG-4 AVC/H.264 BD-compatible High Profile / Level 4.1", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.104", "MPEG-4 AVC/H.264 High Profile / Level 4.2 For 2D Video", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.104.1", "Fragmentable MPEG-4 AVC/H.264 High Profile / Level 4.2 For 2D Video", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.105", "MPEG-4 AVC/H.264 High Profile / Level 4.2 For 3D Video", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.105.1", "Fragmentable MPEG-4 AVC/H.264 High Profile / Level 4.2 For 3D Video", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.106", "MPEG-4 AVC/H.264 Stereo High Profile / Level 4.2", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.106.1", "Fragmentable MPEG-4 AVC/H.264 Stereo High Profile / Level 4.2", COMPRESSION_OTHER, PixelCodec::h264, nullptr},
    {"1.2.840.10008.1.2.4.107", "HEVC/H.265 Main Profile / Level 5.1", COMPRESSION_OTHER, PixelCodec::hevc, nullptr},
    {"1.2.840.10008.1.2.4.108", "HEVC/H.265 Main 10 Profile / Level 5.1", COMPRESSION_OTHER, PixelCodec::hevc, nullptr},
    {"1.2.840.10008.1.2.4.110", "JPEG XL Lossless", COMPRESSION_OTHER, PixelCodec::jpegxl, nullptr},
    {"1.2.840.10008.1.2.4.111", "JPEG XL JPEG Recompression", COMPRESSION_OTHER, PixelCodec::jpegxl, nullptr},
    {"1.2.840.10008.1.2.4.112", "JPEG XL", COMPRESSION_OTHER, PixelCodec::jpegxl, nullptr},
    {"1.2.840.10008.1.2.4.201", "High-Throughput JPEG 2000 Image Compression (Lossless Only)", COMPRESSION_OTHER, PixelCodec::jpeg2000, nullptr},
    {"1.2.840.10008.1.2.4.202", "High-Throughput JPEG 2000 with RPCL Options Image Compression (Lossless Only)", COMPRESSION_OTHER, PixelCodec::jpeg2000, nullptr},
    {"1.2.840.10008.1.2.4.203", "High-Throughput JPEG 2000 Image Compression", COMPRESSION_OTHER, PixelCodec::jpeg2000, nullptr},
    {"1.2.840.10008.1.2.4.204", "JPIP HTJ2K Referenced", COMPRESSION_OTHER, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.4.205", "JPIP HTJ2K Referenced Deflate", COMPRESSION_OTHER, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.5", "RLE Lossless", COMPRESSION_RLE, PixelCodec::rle, " : Lossless Run Length Encoding(RLE)"},
    {"1.2.840.10008.1.2.6.1", "RFC 2557 MIME encapsulation", COMPRESSION_NONE, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.6.2", "XML Encoding", COMPRESSION_NONE, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.7.1", "SMPTE ST 2110-20 Uncompressed Progressive Active Video", COMPRESSION_NONE, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.7.2", "SMPTE ST 2110-20 Uncompressed Interlaced Active Video", COMPRESSION_NONE, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.7.3", "SMPTE ST 2110-30 PCM Digital Audio", COMPRESSION_NONE, PixelCodec::none, nullptr},
    {"1.2.840.10008.1.2.8.1", "Deflated Image Frame Compression", COMPRESSION_NONE, PixelCodec::deflate, " : Deflated frames, Explicit VR, Little Endian"},
    {"1.2.840.10008.1.20", "Papyrus 3 Implicit VR Little Endian", COMPRESSION_NONE, PixelCodec::none, nullptr},
};
// clang-format on

// The UID without the spaces and NULs that pad a stored value.
std::string_view trimmed(const char* uid)
{
    std::string_view text(uid);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

const TransferSyntax* find_transfer_syntax(const char* uid)
{
    if (uid == nullptr) {
        return nullptr;
    }
    const std::string_view wanted = trimmed(uid);
    for (const TransferSyntax& syntax : syntaxes) {
        if (wanted == syntax.uid) {
            return &syntax;
        }
    }
    return nullptr;
}

const TransferSyntax* jpeg_syntax_prefixing(const char* uid)
{
    for (const TransferSyntax& syntax : syntaxes) {
        const bool jpeg =
            syntax.compression == COMPRESSION_JPEG_LOSSY || syntax.compression == COMPRESSION_JPEG_LOSSLESS;
        if (jpeg && std::strncmp(uid, syntax.uid, std::strlen(syntax.uid)) == 0) {
            return &syntax;
        }
    }
    return nullptr;
}

const char* transfer_syntax_name(const char* uid)
{
    const TransferSyntax* syntax = find_transfer_syntax(uid);
    return syntax != nullptr ? syntax->name : nullptr;
}

std::string unsupported_transfer_syntax_message(const char* uid)
{
    const char* name = transfer_syntax_name(uid);
    if (name == nullptr) {
        return "Unsupported transfer syntax UID";
    }
    std::string message = "Unsupported transfer syntax ";
    message += trimmed(uid);
    message += " (";
    message += name;
    message += ")";
    return message;
}
