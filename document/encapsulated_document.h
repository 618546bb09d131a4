// The document an encapsulated-document file carries in Encapsulated
// Document (0042,0011): where its bytes are, how many of them are the
// document (a trailing pad byte left out), and copying them out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "export/data_set.h"

enum class DocumentKind { pdf, cda, stl, obj, mtl, other };

// The kind a SOP Class UID names; `other` for any other class.
DocumentKind document_kind(const std::string& sop_class_uid);
// "PDF", "CDA", "STL", "OBJ", "MTL" or "document".
const char* document_kind_name(DocumentKind kind);

struct EncapsulatedDocument {
    DocumentKind kind = DocumentKind::other;
    std::string mime_type; // (0042,0012), as the file gives it
    // The value's bytes when they were loaded (small values, deflated
    // files); otherwise the value lies in the file at `file_offset`.
    std::string loaded;
    bool in_file = false;
    int64_t file_offset = 0;
    uint64_t value_length = 0; // bytes of (0042,0011), padding included
    uint64_t length = 0;       // bytes of the document
    // Set when (0042,0015) disagrees with the value by more than a pad
    // byte: the whole value is the document then.
    std::string length_note;
};

// What looking for the document gives: the document, or why there is none.
struct DocumentLookup {
    EncapsulatedDocument document;
    std::string error; // empty when the document was found
};

// The document of a data set read from `path` (the bytes a value left in the
// file are read from there, to check a PDF's trailing pad).
DocumentLookup find_document(const DataSet& set, const char* path);

// Reads `path` and finds its document; the read's failure is an error.
DocumentLookup find_document(const char* path);

// Copies the document's `length` bytes to `out`; an empty string when done,
// else what went wrong.
std::string copy_document(const EncapsulatedDocument& document, const char* path, std::FILE* out);

// Writes the document to the file `out_path`, which is removed again when
// the copy fails; an empty string when done, else what went wrong.
std::string write_document(const EncapsulatedDocument& document, const char* path, const char* out_path);
