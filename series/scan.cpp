// The header read of one file, what the scan keeps of it, and the scan of
// paths to its end.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "reader/dicom_reader.h"
#include "series/fast_header.h"
#include "series/folder_scan.h"
#include "series/header_stream.h"
#include "series/scan_fields.h"
#include "series/series.h"

namespace {

std::string trimmed(const char* value, uint32_t length)
{
    std::string text(value, length);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    std::size_t first = 0;
    while (first < text.size() && text[first] == ' ') {
        ++first;
    }
    return text.substr(first);
}

// The loaded value as the file holds it: a split string's values joined by
// backslashes again.
std::string value_text(const ELEMENT& e)
{
    if (!vr_is_split_string(e.vr)) {
        return trimmed(static_cast<const char*>(e.value), e.length);
    }
    const auto* const* slots = static_cast<const char* const*>(e.value);
    std::string joined;
    for (uint32_t i = 0; i < e.vm; ++i) {
        if (i > 0) {
            joined.push_back('\\');
        }
        joined += slots[i];
    }
    return trimmed(joined.data(), static_cast<uint32_t>(joined.size()));
}

// The backslash-separated numbers of a DS or IS value; nullopt unless all parse.
std::optional<std::vector<double>> numbers(const std::string& text)
{
    std::vector<double> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\\', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string part = text.substr(start, end - start);
        while (!part.empty() && part.back() == ' ') {
            part.pop_back();
        }
        std::size_t first = part.find_first_not_of(' ');
        if (first == std::string::npos) {
            return std::nullopt;
        }
        part = part.substr(first);
        char* stop = nullptr;
        errno = 0;
        const double value = std::strtod(part.c_str(), &stop);
        if (stop == part.c_str() || *stop != '\0' || errno == ERANGE) {
            return std::nullopt;
        }
        out.push_back(value);
        start = end + 1;
    }
    return out;
}

// HHMMSS.FFFFFF (or HH:MM:SS, the older form) as seconds of the day.
std::optional<double> seconds_of_day(const std::string& text)
{
    std::string digits;
    for (const char c : text) {
        if (c != ':') {
            digits.push_back(c);
        }
    }
    if (digits.size() < 2) {
        return std::nullopt;
    }
    double parts[3] = {0, 0, 0};
    std::size_t at = 0;
    for (int i = 0; i < 3 && at + 2 <= digits.size() && digits[at] != '.'; ++i, at += 2) {
        int value = 0;
        const auto [end, error] = std::from_chars(digits.data() + at, digits.data() + at + 2, value);
        if (error != std::errc() || end != digits.data() + at + 2) {
            return std::nullopt;
        }
        parts[i] = value;
    }
    double fraction = 0;
    if (at < digits.size()) {
        if (digits[at] != '.') {
            return std::nullopt;
        }
        const std::string rest = "0" + digits.substr(at);
        char* stop = nullptr;
        fraction = std::strtod(rest.c_str(), &stop);
        if (*stop != '\0') {
            return std::nullopt;
        }
    }
    return parts[0] * 3600 + parts[1] * 60 + parts[2] + fraction;
}

// An element a file without "DICM" may start with: a group of the data set's
// usual first ones and a length the file can hold.
bool plausible_first(const ELEMENT& e, int64_t bytes_left)
{
    return e.group >= 0x0002 && e.group <= 0x0010 && e.group % 2 == 0 &&
           (e.length == UNDEFINED_LENGTH || static_cast<int64_t>(e.length) <= bytes_left);
}

void take_tag(ScannedFile& f, uint32_t tag, const std::string& text)
{
    switch (tag) {
    case 0x00080005: f.character_set = text; break;
    case 0x00100010: f.patient_name = text; break;
    case 0x00100020: f.patient_id = text; break;
    case 0x0020000D: f.study_uid = text; break;
    case 0x00080020: f.study_date = text; break;
    case 0x00081030: f.study_description = text; break;
    case 0x0020000E: f.series_uid = text; break;
    case 0x00200011: f.series_number = text; break;
    case 0x00080060: f.modality = text; break;
    case 0x0008103E: f.series_description = text; break;
    case 0x00200013:
        if (const auto n = numbers(text); n && n->size() == 1) {
            f.instance_number = static_cast<long long>((*n)[0]);
        }
        break;
    case 0x00200032:
        if (const auto n = numbers(text); n && n->size() == 3) {
            f.position = std::array<double, 3>{(*n)[0], (*n)[1], (*n)[2]};
        }
        break;
    case 0x00200037:
        if (const auto n = numbers(text); n && n->size() == 6) {
            f.orientation = std::array<double, 6>{(*n)[0], (*n)[1], (*n)[2], (*n)[3], (*n)[4], (*n)[5]};
        }
        break;
    case 0x00080033: f.content_time = seconds_of_day(text); break;
    case 0x00080032: f.acquisition_time = seconds_of_day(text); break;
    case 0x00280008:
        if (const auto n = numbers(text); n && n->size() == 1 && (*n)[0] >= 1 && (*n)[0] <= 1e9) {
            f.frames = static_cast<int>((*n)[0]);
        }
        break;
    default: break;
    }
}

void take(ScannedFile& f, const ELEMENT& e, const std::string& text)
{
    take_tag(f, (uint32_t{e.group} << 16) | e.element, text);
}

bool wanted_tag(uint32_t tag)
{
    switch (tag) {
    case 0x00080005:
    case 0x00100010:
    case 0x00100020:
    case 0x0020000D:
    case 0x00080020:
    case 0x00081030:
    case 0x0020000E:
    case 0x00200011:
    case 0x00080060:
    case 0x0008103E:
    case 0x00200013:
    case 0x00200032:
    case 0x00200037:
    case 0x00080033:
    case 0x00080032:
    case 0x00280008: return true;
    default: return false;
    }
}

bool wanted(const ELEMENT& e)
{
    return e.sq_depth == 0 && e.length != UNDEFINED_LENGTH && e.length <= 4096 &&
           wanted_tag((uint32_t{e.group} << 16) | e.element);
}

// A value's bytes as the reader loads them (value_text): a split string's
// values each end at a NUL; the ends trimmed.
std::string raw_value_text(int32_t vr, std::string_view value)
{
    if (!vr_is_split_string(vr)) {
        return trimmed(value.data(), static_cast<uint32_t>(value.size()));
    }
    std::string joined;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(value.find('\\', start), value.size());
        const std::string_view part = value.substr(start, end - start);
        joined.append(part.substr(0, std::min(part.find('\0'), part.size())));
        if (end == value.size()) {
            break;
        }
        joined.push_back('\\');
        start = end + 1;
    }
    return trimmed(joined.data(), static_cast<uint32_t>(joined.size()));
}

// The frames the pixel data can hold at most: a frame takes at least a bit
// of it (an item header when encapsulated).
int64_t frames_room(uint32_t pixel_length, int64_t bytes_after_header)
{
    return pixel_length == UNDEFINED_LENGTH ? bytes_after_header / 8 : int64_t{pixel_length} * 8;
}

// The header straight from the file's first bytes, when it is of the common
// kind; nullopt leaves the file to the reader.
std::optional<ScannedFile> fast_scan(HeaderFile& header, const std::string& path, std::string& reason)
{
    for (;;) {
        ScannedFile file;
        const FastHeader walk = fast_header(header.bytes(), header.size(), wanted_tag,
                                            [&](uint32_t tag, int32_t vr, std::string_view value) {
                                                take_tag(file, tag, raw_value_text(vr, value));
                                            });
        if (walk.status == FastHeaderStatus::needs_more && header.read_more()) {
            continue;
        }
        if (walk.status != FastHeaderStatus::read) {
            return std::nullopt;
        }
        file.path = path;
        file.frames = static_cast<int>(std::clamp<int64_t>(
            frames_room(walk.pixel_length, header.size() - walk.pixel_value_start), 1, file.frames));
        if (file.series_uid.empty()) {
            reason = "no Series Instance UID";
        }
        return file;
    }
}

} // namespace

std::string loaded_text(const ELEMENT& e) { return value_text(e); }

bool is_scanned_field(const ELEMENT& e)
{
    ELEMENT at_top = e; // the scan itself wants only the data set's own fields
    at_top.sq_depth = 0;
    return wanted(at_top);
}

void take_scanned_field(ScannedFile& file, const ELEMENT& e) { take(file, e, value_text(e)); }

namespace {
// The header through the stream reader, over the file as far as it is read.
std::optional<ScannedFile> reader_scan(HeaderFile& header, const std::string& path, std::string& reason);
} // namespace

std::optional<ScannedFile> scan_file(const std::string& path, std::string& reason)
{
    HeaderFile header;
    if (!header.open(path)) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return std::nullopt;
    }
    if (std::optional<ScannedFile> fast = fast_scan(header, path, reason)) {
        return reason.empty() ? fast : std::nullopt;
    }
    return reader_scan(header, path, reason);
}

std::optional<ScannedFile> scan_file_with_reader(const std::string& path, std::string& reason)
{
    HeaderFile header;
    if (!header.open(path)) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return std::nullopt;
    }
    return reader_scan(header, path, reason);
}

namespace {

std::optional<ScannedFile> reader_scan(HeaderFile& header, const std::string& path, std::string& reason)
{
    const int64_t size = header.size();
    std::FILE* stream = header.stream();
    if (stream == nullptr) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return std::nullopt;
    }
    DicomReader reader;
    const int opened = reader.open_stream(stream, false, size);
    if (opened == -5) {
        reason = "not DICOM";
        return std::nullopt;
    }
    if (opened != 0) {
        reason = "cannot be inflated";
        return std::nullopt;
    }
    const bool has_magic = reader.state().meta_pending != 0;
    ScannedFile file;
    file.path = path;
    bool first = true;
    // A frame takes at least a bit of the pixel data (an item header when
    // encapsulated): a Number of Frames past that is the header's error.
    int64_t most_frames = reader.state().file_size * 8;
    while (const ELEMENT* e = reader.element()) {
        if (first && !has_magic && !plausible_first(*e, reader.bytes_left())) {
            reason = "not DICOM";
            return std::nullopt;
        }
        first = false;
        if (e->group == 0x7FE0 && e->element == 0x0010 && e->sq_depth == 0) {
            most_frames = frames_room(e->length, reader.bytes_left());
            break;
        }
        if (wanted(*e)) {
            if (reader.load(e->vr) != 0 && reader.state().failure != 0) {
                break;
            }
            ELEMENT& r = reader.record();
            if (r.value != nullptr) {
                take(file, r, value_text(r));
                std::free(r.value);
                r.value = nullptr;
            }
        } else if (reader.skip() != 0) {
            break;
        }
    }
    const int failure = reader.state().failure;
    if (first) {
        reason = failure != 0 ? "broken: no element can be read" : "not DICOM";
        return std::nullopt;
    }
    if (failure != 0) {
        reason = failure == -3 ? "broken: no memory" : "broken: the file ends inside an element";
        return std::nullopt;
    }
    file.frames = static_cast<int>(std::clamp<int64_t>(most_frames, 1, file.frames));
    if (file.series_uid.empty()) {
        reason = "no Series Instance UID";
        return std::nullopt;
    }
    return file;
}

} // namespace

ScanResult scan_paths(const std::vector<std::string>& paths) { return FolderScan(paths).finish(); }
