#include "reader/inflate_view.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "base/log.h"
#include "reader/vr.h"

namespace {

constexpr uint16_t meta_group = 0x0002;
constexpr std::size_t input_chunk = 64 * 1024;
constexpr std::size_t output_chunk = 256 * 1024;
constexpr std::size_t uid_limit = 64;

uint16_t u16le(const uint8_t* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }

uint32_t u32le(const uint8_t* b)
{
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

bool is_capital(uint8_t b) { return b >= 'A' && b <= 'Z'; }

bool read_exactly(std::FILE* file, void* into, std::size_t count)
{
    return std::fread(into, 1, count, file) == count;
}

// The UID value without the NUL or blank that pads it to even length.
bool names_deflated_syntax(std::FILE* file, uint32_t length)
{
    std::array<char, uid_limit> text{};
    const std::size_t wanted = std::min<std::size_t>(length, text.size());
    if (!read_exactly(file, text.data(), wanted)) {
        return false;
    }
    std::string uid(text.data(), wanted);
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) {
        uid.pop_back();
    }
    return uid == deflated_transfer_syntax;
}

int64_t stream_size(std::FILE* file)
{
    if (fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    return static_cast<int64_t>(ftello(file));
}

// Copies the first count bytes of from into the empty view.
bool copy_head(std::FILE* from, std::FILE* view, int64_t count)
{
    if (fseeko(from, 0, SEEK_SET) != 0) {
        return false;
    }
    std::vector<unsigned char> buffer(input_chunk);
    while (count > 0) {
        const std::size_t step = static_cast<std::size_t>(std::min<int64_t>(count, input_chunk));
        if (!read_exactly(from, buffer.data(), step) || std::fwrite(buffer.data(), 1, step, view) != step) {
            return false;
        }
        count -= static_cast<int64_t>(step);
    }
    return true;
}

enum class InflateEnd { complete, truncated, corrupt, too_large, no_room, no_memory };

struct InflateRun {
    InflateEnd end = InflateEnd::truncated;
    std::string detail; // zlib's own words for a corrupt stream
};

// Inflates the raw deflate stream from the file's position to its end onto
// the end of the view, writing at most limit bytes.
InflateRun inflate_to(std::FILE* from, std::FILE* view, int64_t limit)
{
    dicom_log(LogLevel::debug, "inflate_to()");
    InflateRun run;
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        run.end = InflateEnd::no_memory;
        return run;
    }
    std::vector<unsigned char> input(input_chunk);
    std::vector<unsigned char> output(output_chunk);
    int64_t written = 0;
    for (;;) {
        if (z.avail_in == 0) {
            const std::size_t got = std::fread(input.data(), 1, input.size(), from);
            if (got == 0) {
                run.end = InflateEnd::truncated;
                break;
            }
            z.next_in = input.data();
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        const int status = inflate(&z, Z_NO_FLUSH);
        const std::size_t produced = output.size() - z.avail_out;
        if (static_cast<int64_t>(produced) > limit - written) {
            run.end = InflateEnd::too_large;
            break;
        }
        if (produced > 0 && std::fwrite(output.data(), 1, produced, view) != produced) {
            run.end = InflateEnd::no_room;
            break;
        }
        written += static_cast<int64_t>(produced);
        if (status == Z_STREAM_END) {
            run.end = InflateEnd::complete;
            break;
        }
        if (status == Z_MEM_ERROR) {
            run.end = InflateEnd::no_memory;
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            run.end = InflateEnd::corrupt;
            run.detail = z.msg != nullptr ? z.msg : "";
            break;
        }
    }
    inflateEnd(&z);
    return run;
}

// Logs how the inflation ended; true when the view may be read.
bool report(const InflateRun& run)
{
    switch (run.end) {
    case InflateEnd::complete: return true;
    case InflateEnd::truncated:
        dicom_log(LogLevel::warning, "Deflated data set is truncated: reading what inflated");
        return true;
    case InflateEnd::corrupt: {
        const std::string message = "Deflated data set is corrupt (" + run.detail + "): reading what inflated";
        dicom_log(LogLevel::warning, message.c_str());
        return true;
    }
    case InflateEnd::too_large: {
        const std::string message = "Deflated data set inflates to more than " +
                                    std::to_string(inflate_ratio_limit) +
                                    " times its size or past 2 GiB: not read";
        dicom_log(LogLevel::error, message.c_str());
        return false;
    }
    case InflateEnd::no_room:
        dicom_log(LogLevel::error, "No room for the inflated data set: not read");
        return false;
    case InflateEnd::no_memory: dicom_log(LogLevel::error, "Out of memory"); return false;
    }
    return false;
}

// Cuts the view back to its first size bytes.
bool cut_view(std::FILE* view, int64_t size)
{
    return std::fflush(view) == 0 && ftruncate(fileno(view), static_cast<off_t>(size)) == 0;
}

} // namespace

int64_t find_meta_group_end(std::FILE* file, bool& deflated)
{
    deflated = false;
    int64_t group_end = -1;
    const int64_t start = static_cast<int64_t>(ftello(file));
    const int64_t size = stream_size(file);
    if (start < 0 || fseeko(file, static_cast<off_t>(start), SEEK_SET) != 0) {
        return -1;
    }
    for (;;) {
        // A value may reach past the end of the file: the seek over it does not fail.
        const int64_t at = static_cast<int64_t>(ftello(file));
        if (at < 0 || at > size) {
            return -1;
        }
        if (at == group_end) {
            return at;
        }
        std::array<uint8_t, 8> head{};
        if (!read_exactly(file, head.data(), head.size())) {
            return -1;
        }
        if (u16le(head.data()) != meta_group) {
            return at;
        }
        const uint16_t element = u16le(head.data() + 2);
        uint32_t length = u32le(head.data() + 4);
        if (is_capital(head[4]) && is_capital(head[5])) {
            length = u16le(head.data() + 6);
            if (vr_has_long_length(vr_code(static_cast<char>(head[4]), static_cast<char>(head[5])))) {
                std::array<uint8_t, 4> longer{};
                if (!read_exactly(file, longer.data(), longer.size())) {
                    return -1;
                }
                length = u32le(longer.data());
            }
        }
        const int64_t value_at = static_cast<int64_t>(ftello(file));
        if (element == 0x0000 && length == 4) {
            std::array<uint8_t, 4> value{};
            if (!read_exactly(file, value.data(), value.size())) {
                return -1;
            }
            group_end = value_at + 4 + u32le(value.data());
        } else if (element == 0x0010) {
            deflated = names_deflated_syntax(file, length);
        }
        // An undefined length has no place in the meta group: it ends there.
        if (length == 0xFFFFFFFFU || fseeko(file, static_cast<off_t>(value_at + length), SEEK_SET) != 0) {
            return -1;
        }
    }
}

InflatedView open_inflated_view(std::FILE* file)
{
    InflatedView result;
    const int64_t start = static_cast<int64_t>(ftello(file));
    bool deflated = false;
    const int64_t meta_end = start < 0 ? -1 : find_meta_group_end(file, deflated);
    if (!deflated || meta_end < 0) {
        if (start >= 0) {
            fseeko(file, static_cast<off_t>(start), SEEK_SET);
        }
        return result;
    }

    result.refused = true;
    std::FILE* view = std::tmpfile();
    if (view == nullptr) {
        dicom_log(LogLevel::error, "No room for the inflated data set: not read");
        return result;
    }
    const int64_t compressed = stream_size(file) - meta_end;
    if (!copy_head(file, view, meta_end) || fseeko(file, static_cast<off_t>(meta_end), SEEK_SET) != 0) {
        dicom_log(LogLevel::error, "Error while reading file");
        std::fclose(view);
        return result;
    }
    const int64_t limit = std::min(compressed * inflate_ratio_limit, inflate_size_limit - meta_end);
    const InflateRun run = inflate_to(file, view, limit);
    result.refused = !report(run);
    if ((result.refused && !cut_view(view, meta_end)) || std::fflush(view) != 0 ||
        fseeko(view, static_cast<off_t>(start), SEEK_SET) != 0) {
        dicom_log(LogLevel::error, "No room for the inflated data set: not read");
        std::fclose(view);
        result.refused = true;
        return result;
    }
    result.stream = view;
    return result;
}
