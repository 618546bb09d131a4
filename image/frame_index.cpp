// The frame index of encapsulated pixel data: each frame's fragments, found
// with positioned reads so that the reader's stream is never moved.
#include "frame_index.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>

#include "base/log.h"

namespace {

constexpr std::size_t item_header_bytes = 8;
// The first bytes of a fragment that the start-marker rule looks at.
constexpr std::size_t head_bytes = 12;
constexpr uint16_t item_group = 0xFFFE;
constexpr uint16_t item_element = 0xE000;

uint16_t little16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

uint32_t little32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(little16(bytes)) | static_cast<uint32_t>(little16(bytes + 2)) << 16;
}

} // namespace

bool begins_codestream(const uint8_t* head, std::size_t size)
{
    static constexpr std::array<uint8_t, 12> jp2_signature{0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                                           0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    if (size >= 2 && head[0] == 0xFF && (head[1] == 0xD8 || head[1] == 0x4F)) {
        return true;
    }
    return size >= jp2_signature.size() && std::memcmp(head, jp2_signature.data(), jp2_signature.size()) == 0;
}

bool begins_jpegxl_codestream(const uint8_t* head, std::size_t size)
{
    static constexpr std::array<uint8_t, 12> signature_box{0x00, 0x00, 0x00, 0x0C, 0x4A, 0x58,
                                                           0x4C, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    return (size >= 2 && head[0] == 0xFF && head[1] == 0x0A) ||
           (size >= signature_box.size() && std::memcmp(head, signature_box.data(), signature_box.size()) == 0);
}

frame_index::frame_index(int descriptor, uint64_t file_size, uint64_t first_item, int32_t frames,
                         fragment_rule rule)
    : descriptor_(descriptor), file_size_(file_size), first_item_(first_item), frames_(std::max(frames, 0)),
      rule_(rule)
{
}

void frame_index::use_basic_table(std::vector<uint32_t> offsets) { basic_ = std::move(offsets); }

void frame_index::use_extended_table(std::vector<uint64_t> offsets, std::vector<uint64_t> lengths)
{
    extended_offsets_ = std::move(offsets);
    extended_lengths_ = std::move(lengths);
}

bool frame_index::read_at(uint64_t position, uint8_t* into, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(descriptor_, into + done, count - done, static_cast<off_t>(position + done));
        if (got <= 0) {
            read_error_ = got < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

frame_lookup frame_index::read_failed()
{
    dicom_log(LogLevel::error, "Error while reading file");
    failure_ = image_failures::unreadable(read_error_);
    return frame_lookup::read_failure;
}

uint64_t frame_index::frame_length(const std::vector<fragment_span>& fragments) const
{
    uint64_t total = 0;
    for (const fragment_span& fragment : fragments) {
        total += fragment.length;
    }
    return total;
}

// One positioned read per item: its header and the first bytes of its value.
bool frame_index::walk()
{
    if (walked_) {
        return !walk_failed_;
    }
    walked_ = true;
    uint64_t position = first_item_;
    std::array<uint8_t, item_header_bytes + head_bytes> bytes{};
    for (;;) {
        if (file_size_ - std::min(file_size_, position) < item_header_bytes) {
            cut_ = true;
            break;
        }
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<uint64_t>(bytes.size(), file_size_ - position));
        if (!read_at(position, bytes.data(), wanted)) {
            read_failed();
            walk_failed_ = true;
            return false;
        }
        if (little16(bytes.data()) != item_group || little16(bytes.data() + 2) != item_element) {
            break; // the sequence delimiter, or anything that is not an item, ends the list
        }
        const uint32_t length = little32(bytes.data() + 4);
        const uint64_t value = position + item_header_bytes;
        if (length == 0xFFFFFFFFU || length > file_size_ - value) {
            cut_ = true; // the item runs past the end of the file
            break;
        }
        const std::size_t head = std::min<std::size_t>(length, wanted - item_header_bytes);
        items_.push_back({value, length});
        const uint8_t* first_bytes = bytes.data() + item_header_bytes;
        starts_frame_.push_back(rule_ == fragment_rule::jpegxl_signature
                                    ? begins_jpegxl_codestream(first_bytes, head)
                                    : begins_codestream(first_bytes, head));
        position = value + length;
    }
    assign_frames();
    return true;
}

// Frames from the walked items: all of them for one frame, one each when
// there are no more items than frames, otherwise by the fragment rule.
void frame_index::assign_frames()
{
    const std::size_t frames = static_cast<std::size_t>(frames_);
    if (items_.empty() || frames == 0) {
        return;
    }
    if (frames == 1) {
        frame_starts_.push_back(0);
    } else if (items_.size() <= frames || rule_ == fragment_rule::one_per_frame) {
        const std::size_t count = std::min(items_.size(), frames);
        for (std::size_t i = 0; i < count; ++i) {
            frame_starts_.push_back(i);
        }
        if (rule_ == fragment_rule::one_per_frame) {
            items_.resize(count); // extra items belong to no frame
        }
    } else {
        // Every start is kept: the last frame ends where the next codestream
        // begins, even one past the frames announced.
        frame_starts_.push_back(0);
        for (std::size_t i = 1; i < items_.size(); ++i) {
            if (starts_frame_[i]) {
                frame_starts_.push_back(i);
            }
        }
    }
}

int32_t frame_index::frames_present()
{
    if (!extended_offsets_.empty()) {
        return frames_;
    }
    walk();
    return static_cast<int32_t>(std::min(frame_starts_.size(), static_cast<std::size_t>(frames_)));
}

frame_lookup frame_index::frame(int32_t index, std::vector<fragment_span>& fragments)
{
    fragments.clear();
    if (index < 0 || index >= frames_) {
        return frame_lookup::beyond_end;
    }
    if (!extended_offsets_.empty()) {
        return from_extended(index, fragments);
    }
    if (!basic_.empty()) {
        const frame_lookup found = from_basic(index, fragments);
        if (found == frame_lookup::found || found == frame_lookup::read_failure) {
            return found;
        }
        dicom_log(LogLevel::warning, "Basic Offset Table does not match the fragments (ignored)");
        basic_.clear();
    }
    return from_walk(index, fragments);
}

// The Extended Offset Table names each frame's one item directly: only that
// item's header is read.
frame_lookup frame_index::from_extended(int32_t index, std::vector<fragment_span>& fragments)
{
    const auto i = static_cast<std::size_t>(index);
    const uint64_t offset = extended_offsets_[i];
    if (offset > file_size_ || first_item_ > file_size_ - offset ||
        file_size_ - first_item_ - offset < item_header_bytes) {
        return frame_lookup::cut;
    }
    const uint64_t position = first_item_ + offset;
    std::array<uint8_t, item_header_bytes> header{};
    if (!read_at(position, header.data(), header.size())) {
        return read_failed();
    }
    const uint32_t length = little32(header.data() + 4);
    const uint64_t value = position + item_header_bytes;
    if (little16(header.data()) != item_group || little16(header.data() + 2) != item_element ||
        extended_lengths_[i] > length) {
        const char* what = "Extended Offset Table does not point at an item of the frame's length";
        dicom_log(LogLevel::error, what);
        failure_ = image_failures::pixel_data_broken(what);
        return frame_lookup::read_failure;
    }
    if (length > file_size_ - value) {
        return frame_lookup::cut;
    }
    fragments.push_back({value, static_cast<uint32_t>(extended_lengths_[i])});
    return frame_lookup::found;
}

// The Basic Offset Table gives where each frame's first item lies; the frame
// takes the items from there up to the next frame's offset (the last one up
// to the end of the item list). Only those item headers are read. Anything
// but an exact fit hands over to the walk.
frame_lookup frame_index::from_basic(int32_t index, std::vector<fragment_span>& fragments)
{
    const auto i = static_cast<std::size_t>(index);
    const bool last = i + 1 == basic_.size();
    if (basic_[0] != 0 || (!last && basic_[i + 1] <= basic_[i])) {
        return frame_lookup::beyond_end;
    }
    uint64_t position = first_item_ + basic_[i];
    const uint64_t end = last ? UINT64_MAX : first_item_ + basic_[i + 1];
    std::array<uint8_t, item_header_bytes> header{};
    while (position < end) {
        if (file_size_ - std::min(file_size_, position) < item_header_bytes) {
            break; // the file ends: the frame keeps the items it has
        }
        if (!read_at(position, header.data(), header.size())) {
            return read_failed();
        }
        if (little16(header.data()) != item_group || little16(header.data() + 2) != item_element) {
            break;
        }
        const uint32_t length = little32(header.data() + 4);
        const uint64_t value = position + item_header_bytes;
        if (length > file_size_ - value) {
            break;
        }
        fragments.push_back({value, length});
        position = value + length;
    }
    if (fragments.empty() || (!last && position != end)) {
        fragments.clear();
        return frame_lookup::beyond_end;
    }
    return frame_lookup::found;
}

frame_lookup frame_index::from_walk(int32_t index, std::vector<fragment_span>& fragments)
{
    if (!walk()) {
        return frame_lookup::read_failure;
    }
    const auto i = static_cast<std::size_t>(index);
    if (i >= frame_starts_.size()) {
        return cut_ ? frame_lookup::cut : frame_lookup::beyond_end;
    }
    const std::size_t first = frame_starts_[i];
    const std::size_t end = i + 1 < frame_starts_.size() ? frame_starts_[i + 1] : items_.size();
    fragments.assign(items_.begin() + static_cast<std::ptrdiff_t>(first),
                     items_.begin() + static_cast<std::ptrdiff_t>(end));
    return frame_lookup::found;
}
