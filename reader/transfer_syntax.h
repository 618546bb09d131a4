// The transfer syntaxes of the DICOM UID registry, in one table: each one's
// name, the compression kind the reader gives its pixel data, the codec that
// decodes its frames and the label the header table shows after its UID.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The family of decoders a transfer syntax's frames go to.
enum class PixelCodec {
    none,
    rle,
    lossless_jpeg,
    dct_jpeg,
    jpegls,
    jpeg2000,
    jpegxl,
    deflate,
    encapsulated_native,
    mpeg2, // video: decoded as a stream (image/codec_video.cpp), not frame by frame
    h264,
    hevc
};

struct TransferSyntax {
    const char* uid;
    const char* name;
    int32_t compression; // COMPRESSION_* of reader/dicom.h
    PixelCodec codec;    // none: read as stored, or no decoder
    // What the header table appends to the UID's value; null: worked out
    // from the UID (see transfer_syntax_names in the header walk).
    const char* walk_label;
};

// The registered syntax of a UID (trailing spaces and NULs of the stored value
// ignored), or null for a UID not in the registry.
const TransferSyntax* find_transfer_syntax(const char* uid);

// The JPEG syntax whose UID `uid` begins with (COMPRESSION_JPEG_LOSSY or
// COMPRESSION_JPEG_LOSSLESS), or null.
const TransferSyntax* jpeg_syntax_prefixing(const char* uid);

// The registered name of a transfer syntax UID, or null for a UID not in the
// registry.
const char* transfer_syntax_name(const char* uid);

// "Unsupported transfer syntax UID NAME-IN-PARENTHESES" for a registered UID,
// or "Unsupported transfer syntax UID" alone for any other.
std::string unsupported_transfer_syntax_message(const char* uid);
