// Test helper: data sets deflated as a deflated-syntax file stores them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <zlib.h>

namespace testing_dicom {

// Raw deflate (no zlib header). With cut > 0 the stream is flushed to a byte
// boundary after the first cut bytes and ends there, unfinished.
inline std::string raw_deflate(const std::string& data, std::size_t cut = 0)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(cut > 0 ? cut : data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, cut > 0 ? Z_SYNC_FLUSH : Z_FINISH), cut > 0 ? Z_OK : Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace testing_dicom
