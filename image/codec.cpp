// The codec of each compressed transfer syntax.
#include "image/codec.h"

#include <string_view>

#include "image/codec_families.h"

namespace {

struct registered_codec {
    const char* uid;
    const frame_codec* codec;
};

const registered_codec registry[] = {
    {"1.2.840.10008.1.2.4.50", &dct_jpeg_codec},      {"1.2.840.10008.1.2.4.51", &dct_jpeg_codec},
    {"1.2.840.10008.1.2.4.57", &lossless_jpeg_codec}, {"1.2.840.10008.1.2.4.70", &lossless_jpeg_codec},
    {"1.2.840.10008.1.2.4.80", &jpegls_codec},        {"1.2.840.10008.1.2.4.81", &jpegls_codec},
    {"1.2.840.10008.1.2.4.90", &jpeg2000_codec},      {"1.2.840.10008.1.2.4.91", &jpeg2000_codec},
    {"1.2.840.10008.1.2.4.201", &jpeg2000_codec},     {"1.2.840.10008.1.2.4.202", &jpeg2000_codec},
    {"1.2.840.10008.1.2.4.203", &jpeg2000_codec},     {"1.2.840.10008.1.2.5", &rle_codec},
};

} // namespace

const frame_codec* codec_for_transfer_syntax(const char* uid)
{
    if (uid == nullptr) {
        return nullptr;
    }
    std::string_view wanted(uid);
    while (!wanted.empty() && (wanted.back() == ' ' || wanted.back() == '\0')) {
        wanted.remove_suffix(1); // the padding of a stored value
    }
    for (const registered_codec& entry : registry) {
        if (wanted == entry.uid) {
            return entry.codec;
        }
    }
    return nullptr;
}
