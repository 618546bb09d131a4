#include "document/encapsulated_document.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "document/data_set_lookup.h"

namespace {

constexpr uint32_t sop_class_tag = 0x00080016;
constexpr uint32_t document_tag = 0x00420011;
constexpr uint32_t mime_type_tag = 0x00420012;
constexpr uint32_t document_length_tag = 0x00420015;

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

DocumentKind kind_of_mime_type(std::string_view mime)
{
    if (mime == "application/pdf") {
        return DocumentKind::pdf;
    }
    if (mime == "text/XML" || mime == "text/xml") {
        return DocumentKind::cda;
    }
    if (mime == "model/stl") {
        return DocumentKind::stl;
    }
    if (mime == "model/obj") {
        return DocumentKind::obj;
    }
    if (mime == "model/mtl") {
        return DocumentKind::mtl;
    }
    return DocumentKind::other;
}

// Reads `count` bytes of the document's value from `at` on into `out`;
// false when the file cannot give them.
bool read_value_bytes(const EncapsulatedDocument& document, const char* path, uint64_t at, std::size_t count,
                      std::string& out)
{
    if (!document.in_file) {
        out.assign(std::string_view(document.loaded).substr(at, count));
        return out.size() == count;
    }
    FilePtr file(std::fopen(path, "rb"), std::fclose);
    if (!file ||
        fseeko(file.get(), static_cast<off_t>(document.file_offset + static_cast<int64_t>(at)), SEEK_SET) != 0) {
        return false;
    }
    out.resize(count);
    return std::fread(out.data(), 1, count, file.get()) == count;
}

// A PDF's last byte is the pad a writer adds to an odd length: a zero byte
// right after the %%EOF marker (and its end of line).
bool ends_in_pdf_pad(const EncapsulatedDocument& document, const char* path)
{
    constexpr std::size_t tail_size = 8;
    if (document.value_length < 6) {
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(document.value_length, tail_size));
    std::string tail;
    if (!read_value_bytes(document, path, document.value_length - count, count, tail) || tail.back() != '\0') {
        return false;
    }
    std::string_view text(tail.data(), tail.size() - 1);
    for (const std::string_view end_of_line : {"\r\n", "\n", "\r"}) {
        if (text.ends_with(end_of_line)) {
            text.remove_suffix(end_of_line.size());
            break;
        }
    }
    return text.ends_with("%%EOF");
}

// The Encapsulated Document Length, when the data set holds one.
bool document_length(const DataSet& set, uint64_t& length)
{
    const DataElement* element = find_element(set, document_length_tag);
    if (element == nullptr || element->vr != VR_UL || element->value.size() < 4) {
        return false;
    }
    uint32_t value = 0;
    std::memcpy(&value, element->value.data(), 4);
    length = value;
    return true;
}

void set_length(EncapsulatedDocument& document, const DataSet& set, const char* path)
{
    document.length = document.value_length;
    uint64_t stated = 0;
    if (document_length(set, stated)) {
        if (stated == document.value_length || stated + 1 == document.value_length) {
            document.length = stated;
        } else {
            document.length_note = "Encapsulated Document Length (0042,0015) is " + std::to_string(stated) +
                                   " bytes, the document's value " + std::to_string(document.value_length) +
                                   " bytes: the whole value is written";
        }
        return;
    }
    if (document.kind == DocumentKind::pdf && ends_in_pdf_pad(document, path)) {
        document.length = document.value_length - 1;
    }
}

} // namespace

DocumentKind document_kind(const std::string& sop_class_uid)
{
    static constexpr std::string_view prefix = "1.2.840.10008.5.1.4.1.1.104.";
    if (!std::string_view(sop_class_uid).starts_with(prefix)) {
        return DocumentKind::other;
    }
    const std::string_view number = std::string_view(sop_class_uid).substr(prefix.size());
    constexpr std::array<std::pair<std::string_view, DocumentKind>, 5> kinds = {{{"1", DocumentKind::pdf},
                                                                                 {"2", DocumentKind::cda},
                                                                                 {"3", DocumentKind::stl},
                                                                                 {"4", DocumentKind::obj},
                                                                                 {"5", DocumentKind::mtl}}};
    for (const auto& [n, kind] : kinds) {
        if (number == n) {
            return kind;
        }
    }
    return DocumentKind::other;
}

const char* document_kind_name(DocumentKind kind)
{
    switch (kind) {
    case DocumentKind::pdf: return "PDF";
    case DocumentKind::cda: return "CDA";
    case DocumentKind::stl: return "STL";
    case DocumentKind::obj: return "OBJ";
    case DocumentKind::mtl: return "MTL";
    case DocumentKind::other: break;
    }
    return "document";
}

DocumentLookup find_document(const DataSet& set, const char* path)
{
    DocumentLookup lookup;
    const DataElement* element = find_element(set, document_tag);
    if (element == nullptr || element->is_sequence) {
        lookup.error = "The file holds no encapsulated document (0042,0011)";
        return lookup;
    }
    EncapsulatedDocument& document = lookup.document;
    document.mime_type = first_text(set, mime_type_tag);
    document.kind = document_kind(first_text(set, sop_class_tag));
    if (document.kind == DocumentKind::other) {
        document.kind = kind_of_mime_type(document.mime_type);
    }
    document.in_file = element->in_file;
    if (element->in_file) {
        document.file_offset = element->file_offset;
        document.value_length = element->file_length;
    } else {
        document.loaded.assign(element->value.view());
        document.value_length = document.loaded.size();
        if (document.value_length != element->file_length) {
            lookup.error = "The file ends inside the document";
            return lookup;
        }
    }
    set_length(document, set, path);
    return lookup;
}

DocumentLookup find_document(const char* path)
{
    const ReadResult read = read_data_set(path, ReadOptions{});
    if (read.failure == -4 || read.failure == -5 || read.failure == -6) {
        return {{}, read_failure_text(read.failure)};
    }
    DocumentLookup lookup = find_document(read.data_set, path);
    if (!lookup.error.empty() && read.failure != 0) {
        lookup.error = read_failure_text(read.failure); // the document may lie past the fault
    }
    return lookup;
}

std::string copy_document(const EncapsulatedDocument& document, const char* path, std::FILE* out)
{
    if (!document.in_file) {
        return std::fwrite(document.loaded.data(), 1, document.length, out) == document.length
                   ? std::string()
                   : "Cannot write the document";
    }
    FilePtr file(std::fopen(path, "rb"), std::fclose);
    if (!file) {
        return std::string("Cannot open the file: ") + std::strerror(errno);
    }
    if (fseeko(file.get(), static_cast<off_t>(document.file_offset), SEEK_SET) != 0) {
        return "Error while reading file";
    }
    std::vector<char> chunk(1 << 20);
    uint64_t left = document.length;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(left, chunk.size()));
        const std::size_t got = std::fread(chunk.data(), 1, want, file.get());
        if (got != want) {
            return "The file ends inside the document";
        }
        if (std::fwrite(chunk.data(), 1, got, out) != got) {
            return "Cannot write the document";
        }
        left -= got;
    }
    return {};
}

std::string write_document(const EncapsulatedDocument& document, const char* path, const char* out_path)
{
    FilePtr out(std::fopen(out_path, "wb"), std::fclose);
    if (!out) {
        return std::string("Cannot create the output file: ") + std::strerror(errno);
    }
    std::string error = copy_document(document, path, out.get());
    if (std::fclose(out.release()) != 0 && error.empty()) {
        error = "Cannot write the document";
    }
    if (!error.empty()) {
        std::remove(out_path);
    }
    return error;
}
