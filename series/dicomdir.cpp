// Reading a DICOMDIR: its directory records, their hierarchy (by the records'
// offsets, or by the order of the items when the offsets do not hold), and
// the files they name on the medium.
#include "series/dicomdir.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "reader/dicom_reader.h"
#include "series/scan_fields.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* media_storage_directory = "1.2.840.10008.1.3.10";

uint32_t tag_of(const ELEMENT& e) { return (uint32_t{e.group} << 16) | e.element; }

enum class RecordKind { patient, study, series, other };

RecordKind kind_named(const std::string& type)
{
    if (type == "PATIENT") {
        return RecordKind::patient;
    }
    if (type == "STUDY") {
        return RecordKind::study;
    }
    return type == "SERIES" ? RecordKind::series : RecordKind::other;
}

struct Record {
    int64_t offset = 0;         // of its item's tag, from the first byte of the file
    uint32_t next = 0;          // (0004,1400): the next record of its level, 0 for none
    uint32_t lower = 0;         // (0004,1420): its first lower-level record, 0 for none
    bool links_readable = true; // every offset it states is one UL value
    bool in_use = true;         // (0004,1410) is not 0
    RecordKind kind = RecordKind::other;
    bool names_file = false;
    std::string file_id;                 // (0004,1500), components separated by backslashes
    std::unique_ptr<ScannedFile> fields; // the scan's fields it carries, when it carries any
};

const ScannedFile& fields_of(const Record& r)
{
    static const ScannedFile none;
    return r.fields ? *r.fields : none;
}

struct Directory {
    std::string character_set; // the DICOMDIR's own (0008,0005)
    uint32_t root = 0;         // (0004,1200), 0 when absent
    bool root_readable = true;
    std::vector<Record> records; // in item order
};

// The current element's value as text ("" when it has none).
std::string text_value(DicomReader& reader, int32_t hint)
{
    ELEMENT& e = reader.record();
    e.value = nullptr;
    reader.load(hint);
    std::string text = e.value != nullptr ? loaded_text(e) : std::string();
    std::free(e.value);
    e.value = nullptr;
    return text;
}

// The current element's value as one unsigned number of the given VR (UL or
// US); nullopt when it is not one.
std::optional<uint32_t> number_value(DicomReader& reader, int32_t vr)
{
    ELEMENT& e = reader.record();
    e.value = nullptr;
    reader.load(vr);
    std::optional<uint32_t> number;
    if (e.value != nullptr && e.vr == vr && vr == VR_UL && e.length == 4) {
        uint32_t value = 0;
        std::memcpy(&value, e.value, 4);
        number = value;
    } else if (e.value != nullptr && e.vr == vr && vr == VR_US && e.length == 2) {
        uint16_t value = 0;
        std::memcpy(&value, e.value, 2);
        number = value;
    }
    std::free(e.value);
    e.value = nullptr;
    return number;
}

uint32_t link_value(DicomReader& reader, Record& r)
{
    const std::optional<uint32_t> offset = number_value(reader, VR_UL);
    r.links_readable = r.links_readable && offset.has_value();
    return offset.value_or(0);
}

void take_record_element(DicomReader& reader, Record& r)
{
    const ELEMENT& e = reader.record();
    switch (tag_of(e)) {
    case 0x00041400: r.next = link_value(reader, r); return;
    case 0x00041420: r.lower = link_value(reader, r); return;
    case 0x00041410: r.in_use = number_value(reader, VR_US).value_or(0xFFFF) != 0; return;
    case 0x00041430: r.kind = kind_named(text_value(reader, VR_CS)); return;
    case 0x00041500:
        r.file_id = text_value(reader, VR_CS);
        r.names_file = !r.file_id.empty();
        return;
    default: break;
    }
    if (!is_scanned_field(e)) {
        reader.skip();
        return;
    }
    ELEMENT& loaded = reader.record();
    loaded.value = nullptr;
    reader.load(loaded.vr);
    if (loaded.value != nullptr) {
        if (!r.fields) {
            r.fields = std::make_unique<ScannedFile>();
        }
        take_scanned_field(*r.fields, loaded);
        std::free(loaded.value);
        loaded.value = nullptr;
    }
}

// Reads the DICOMDIR's records; the error, or "" when it was read.
std::string read_records(const std::string& path, Directory& dir)
{
    DicomReader reader;
    const int opened = reader.open(path.c_str());
    if (opened == -4) {
        return std::string("cannot open: ") + std::strerror(errno);
    }
    if (opened != 0 || reader.state().meta_pending == 0) {
        return "not a DICOMDIR";
    }
    bool named_directory = false;
    bool in_data_set = false;
    while (const ELEMENT* e = reader.element()) {
        if (!in_data_set && e->group == 0x0002) {
            if (e->element == 0x0002) {
                named_directory = text_value(reader, VR_UI) == media_storage_directory;
            } else {
                reader.skip();
            }
            continue;
        }
        if (!in_data_set && !named_directory) {
            return "not a DICOMDIR";
        }
        in_data_set = true;
        if (e->sq_depth == 0) {
            if (tag_of(*e) == 0x00041200) {
                const std::optional<uint32_t> root = number_value(reader, VR_UL);
                dir.root = root.value_or(0);
                dir.root_readable = root.has_value();
            } else if (tag_of(*e) == 0x00080005) {
                dir.character_set = text_value(reader, VR_CS);
            } else {
                reader.skip(); // the record sequence itself has no value to skip
            }
        } else if (e->sq_depth != 1 || e->sq_group != 0x0004 || e->sq_element != 0x1220) {
            reader.skip(); // inside a record's own sequences
        } else if (e->group == 0xFFFE) {
            if (e->element == 0xE000) {
                dir.records.emplace_back();
                dir.records.back().offset = e->offset;
            }
        } else if (!dir.records.empty()) {
            take_record_element(reader, dir.records.back());
        } else {
            reader.skip();
        }
    }
    switch (reader.state().failure) {
    case 0: break;
    case -3: return "broken DICOMDIR: no memory";
    default: return "broken DICOMDIR: the file ends inside an element";
    }
    if (!in_data_set && !named_directory) {
        return "not a DICOMDIR";
    }
    return dir.records.empty() ? "broken DICOMDIR: no directory records" : "";
}

constexpr std::size_t no_record = SIZE_MAX;

// A record naming a file, and the records above it.
struct Leaf {
    std::size_t patient = no_record;
    std::size_t study = no_record;
    std::size_t series = no_record;
    std::size_t record = no_record;
};

bool is_leaf(const Record& r) { return r.kind == RecordKind::other && r.names_file && r.in_use; }

// The leaves under the root record by the records' offsets; nullopt when an
// offset leads to no record, or back to a record already reached.
std::optional<std::vector<Leaf>> leaves_by_offsets(const Directory& dir)
{
    if (dir.root == 0 || !dir.root_readable) {
        return std::nullopt;
    }
    std::unordered_map<int64_t, std::size_t> at_offset;
    for (std::size_t i = 0; i < dir.records.size(); ++i) {
        if (!dir.records[i].links_readable) {
            return std::nullopt;
        }
        at_offset.emplace(dir.records[i].offset, i);
    }
    std::vector<bool> reached(dir.records.size(), false);
    // Calls each(index) on the records of one level, from the one at first;
    // false when the chain breaks or loops, or each() says so.
    const auto level = [&](uint32_t first, const auto& each) {
        for (uint32_t offset = first; offset != 0;) {
            const auto found = at_offset.find(offset);
            if (found == at_offset.end() || reached[found->second]) {
                return false;
            }
            reached[found->second] = true;
            if (!each(found->second)) {
                return false;
            }
            offset = dir.records[found->second].next;
        }
        return true;
    };
    // The lower level of a record of the given kind, or nothing.
    const auto below = [&](std::size_t i, RecordKind kind, const auto& each) {
        const Record& r = dir.records[i];
        return r.kind != kind || !r.in_use || level(r.lower, each);
    };
    std::vector<Leaf> leaves;
    Leaf open;
    const bool resolved = level(dir.root, [&](std::size_t patient) {
        open.patient = patient;
        return below(patient, RecordKind::patient, [&](std::size_t study) {
            open.study = study;
            return below(study, RecordKind::study, [&](std::size_t series) {
                open.series = series;
                return below(series, RecordKind::series, [&](std::size_t leaf) {
                    if (is_leaf(dir.records[leaf])) {
                        open.record = leaf;
                        leaves.push_back(open);
                    }
                    return true;
                });
            });
        });
    });
    return resolved ? std::optional(std::move(leaves)) : std::nullopt;
}

// The leaves by the order of the items: a PATIENT record opens a patient, a
// STUDY a study of it, a SERIES a series of that, and the records naming
// files that follow belong to the series. Records not in use close their
// level until the next record of it.
std::vector<Leaf> leaves_by_item_order(const Directory& dir)
{
    std::vector<Leaf> leaves;
    Leaf open;
    bool unused[3] = {false, false, false}; // the open patient, study, series
    for (std::size_t i = 0; i < dir.records.size(); ++i) {
        const Record& r = dir.records[i];
        switch (r.kind) {
        case RecordKind::patient:
            open = Leaf{i, no_record, no_record, no_record};
            unused[0] = !r.in_use;
            unused[1] = unused[2] = false;
            break;
        case RecordKind::study:
            open.study = i;
            open.series = no_record;
            unused[1] = !r.in_use;
            unused[2] = false;
            break;
        case RecordKind::series:
            open.series = i;
            unused[2] = !r.in_use;
            break;
        case RecordKind::other:
            if (is_leaf(r) && open.series != no_record && !unused[0] && !unused[1] && !unused[2]) {
                open.record = i;
                leaves.push_back(open);
            }
            break;
        }
    }
    return leaves;
}

bool same_ignoring_case(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The files of the medium: Referenced File IDs to paths under the
// DICOMDIR's folder, each component matched without regard to case when
// the exact name is not there.
class Medium {
public:
    explicit Medium(fs::path folder) : folder_(std::move(folder)) {}

    // The regular file the components name, or nullopt.
    std::optional<fs::path> find(const std::vector<std::string>& components)
    {
        fs::path at = folder_;
        struct stat st {};
        for (const std::string& component : components) {
            if (::stat((at / component).c_str(), &st) == 0) {
                at /= component;
                continue;
            }
            const std::string* match = nullptr;
            for (const std::string& name : names_in(at)) {
                if (same_ignoring_case(name, component)) {
                    match = &name;
                    break;
                }
            }
            if (match == nullptr) {
                return std::nullopt;
            }
            at /= *match;
        }
        if (::stat(at.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return std::nullopt;
        }
        return at;
    }

    const fs::path& folder() const { return folder_; }

private:
    const std::vector<std::string>& names_in(const fs::path& dir)
    {
        const auto known = names_.find(dir);
        if (known != names_.end()) {
            return known->second;
        }
        std::vector<std::string> names;
        std::error_code error;
        fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            names.push_back(it->path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names_.emplace(dir, std::move(names)).first->second;
    }

    fs::path folder_;
    std::map<fs::path, std::vector<std::string>> names_; // folders listed so far
};

std::string without_spaces_around(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The components of a Referenced File ID; empty, with the reason, when the
// ID is refused: a component that is empty, ".", ".." or holds a slash (or
// a NUL) would name something other than a file under the DICOMDIR's folder.
std::vector<std::string> id_components(const std::string& id, std::string& refusal)
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= id.size()) {
        std::size_t end = id.find('\\', start);
        if (end == std::string::npos) {
            end = id.size();
        }
        std::string part = without_spaces_around(id.substr(start, end - start));
        if (part.empty() || part == "." || part.find('\0') != std::string::npos) {
            refusal = "refused: a Referenced File ID component is empty, '.' or holds a NUL";
            return {};
        }
        if (part == ".." || part.find('/') != std::string::npos) {
            refusal = "refused: the Referenced File ID leaves the DICOMDIR's folder";
            return {};
        }
        components.push_back(std::move(part));
        start = end + 1;
    }
    return components;
}

// The file one leaf names, with the fields of its records; nullopt with a
// skipped path when it cannot be listed.
std::optional<ScannedFile> leaf_file(const Directory& dir, const Leaf& leaf, Medium& medium, SkippedPath& skipped)
{
    const Record& r = dir.records[leaf.record];
    std::string id_path = r.file_id;
    std::replace(id_path.begin(), id_path.end(), '\\', '/');
    // Joined as text: an absolute ID would replace the folder in a path join.
    skipped.path = medium.folder().empty() ? id_path : medium.folder().string() + "/" + id_path;
    const std::vector<std::string> components = id_components(r.file_id, skipped.reason);
    if (components.empty()) {
        return std::nullopt;
    }
    const std::optional<fs::path> path = medium.find(components);
    if (!path) {
        skipped.reason = "missing: named by DICOMDIR";
        return std::nullopt;
    }
    const auto above = [&](std::size_t i) -> const ScannedFile& {
        static const ScannedFile none;
        return i == no_record ? none : fields_of(dir.records[i]);
    };
    const ScannedFile& patient = above(leaf.patient);
    const ScannedFile& study = above(leaf.study);
    const ScannedFile& series = above(leaf.series);
    if (series.series_uid.empty()) {
        skipped = {path->string(), "no Series Instance UID in its DICOMDIR record"};
        return std::nullopt;
    }
    ScannedFile file = fields_of(r);
    file.path = path->string();
    file.character_set = patient.character_set.empty() ? dir.character_set : patient.character_set;
    file.patient_name = patient.patient_name;
    file.patient_id = patient.patient_id;
    file.study_uid = study.study_uid;
    file.study_date = study.study_date;
    file.study_description = study.study_description;
    file.series_uid = series.series_uid;
    file.series_number = series.series_number;
    file.modality = series.modality;
    file.series_description = series.series_description;
    return file;
}

// The file named DICOMDIR (in any case) at the top of the folder when it
// is one, else "".
std::string dicomdir_in(const std::string& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        if (same_ignoring_case(it->path().filename().string(), "DICOMDIR") && is_dicomdir(it->path().string())) {
            return it->path().string();
        }
    }
    return "";
}

} // namespace

bool is_dicomdir(const std::string& path)
{
    DicomReader reader;
    if (reader.open(path.c_str()) != 0 || reader.state().meta_pending == 0) {
        return false;
    }
    while (const ELEMENT* e = reader.element()) {
        if (e->group != 0x0002) {
            return false;
        }
        if (e->element == 0x0002) {
            return text_value(reader, VR_UI) == media_storage_directory;
        }
        if (reader.skip() != 0) {
            return false;
        }
    }
    return false;
}

DicomdirListing read_dicomdir(const std::string& path)
{
    DicomdirListing listing;
    Directory dir;
    listing.error = read_records(path, dir);
    if (!listing.error.empty()) {
        return listing;
    }
    std::optional<std::vector<Leaf>> leaves = leaves_by_offsets(dir);
    if (!leaves) {
        leaves = leaves_by_item_order(dir);
    }
    if (leaves->empty()) {
        listing.error = "DICOMDIR names no files";
        return listing;
    }
    Medium medium(fs::path(path).parent_path());
    for (const Leaf& leaf : *leaves) {
        SkippedPath skipped;
        if (std::optional<ScannedFile> file = leaf_file(dir, leaf, medium, skipped)) {
            listing.files.push_back(std::move(*file));
        } else {
            listing.skipped.push_back(std::move(skipped));
        }
    }
    return listing;
}

DicomdirUse list_dicomdir_of(const std::string& path, ScanResult& result)
{
    DicomdirUse use;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    std::string dicomdir;
    if (!error && fs::is_regular_file(status) && is_dicomdir(path)) {
        dicomdir = path;
    } else if (!error && fs::is_directory(status)) {
        dicomdir = dicomdir_in(path);
    }
    if (dicomdir.empty()) {
        return use;
    }
    DicomdirListing listing = read_dicomdir(dicomdir);
    if (!listing.error.empty()) {
        result.skipped.push_back({dicomdir, std::move(listing.error)});
        use.unreadable = dicomdir;
        return use;
    }
    for (ScannedFile& file : listing.files) {
        result.files.push_back(std::move(file));
    }
    for (SkippedPath& skipped : listing.skipped) {
        result.skipped.push_back(std::move(skipped));
    }
    use.listed = true;
    return use;
}
