// A DICOM file read into a tree of data sets, elements, items and fragments
// for the model writers: each value as the file holds it (numbers in host byte
// order), or where it lies in the file when it is bulk data left unread. Group
// lengths (gggg,0000) and the file meta information (group 0002) are left
// out: they describe the file, not its data set.
// Each data set's elements are in ascending tag order.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/vr.h"
#include "viewer/charset.h"

struct DataElement;

// A value's bytes: the block the reader loaded, kept as it is rather than
// copied (a 150 MB Pixel Data value is read once), or bytes appended here.
class ValueBytes {
public:
    std::string_view view() const { return block_ ? std::string_view(block_.get(), block_size_) : built_; }
    operator std::string_view() const { return view(); }
    const char* data() const { return view().data(); }
    std::size_t size() const { return view().size(); }
    bool empty() const { return size() == 0; }

    // Takes over a block from std::malloc holding `size` bytes.
    void adopt(void* block, std::size_t size)
    {
        built_.clear();
        block_.reset(static_cast<char*>(block));
        block_size_ = size;
    }
    void append(std::string_view bytes)
    {
        if (block_) {
            built_.assign(view());
            block_.reset();
        }
        built_ += bytes;
    }
    void clear()
    {
        block_.reset();
        built_.clear();
    }

private:
    struct Free {
        void operator()(char* block) const { std::free(block); }
    };
    std::unique_ptr<char, Free> block_;
    std::size_t block_size_ = 0;
    std::string built_;
};

// A data set: the file's, or an item of a sequence.
struct DataSet {
    std::vector<DataElement> elements;
    // The character set of its text: its own (0008,0005), else its parent's;
    // null for the default repertoire.
    std::shared_ptr<const CharacterSet> charset;
};

struct DataElement {
    uint32_t tag = 0; // group in the high 16 bits
    int32_t vr = 0;
    ValueBytes value;          // the loaded bytes (encapsulated data: items with their headers)
    bool in_file = false;      // bulk data not loaded: file_offset and file_length locate it
    int64_t file_offset = 0;   // of the value's first byte
    uint64_t file_length = 0;  // bytes of the value (encapsulated: up to the sequence delimiter)
    std::string bulk_data_uri; // read from a JSON model: where the value is kept, value empty
    bool is_sequence = false;
    std::vector<DataSet> items;
};

struct ReadOptions {
    uint64_t bulk_threshold = 1024; // binary values longer than this stay in the file
    bool pixel_data = false;        // Pixel Data loaded like any other binary value
};

// What a read gives: the elements up to the end of the file, or up to the
// fault that ended it, with the reader's failure status (0 none, -1 read
// error, -2 end of file inside an element, -3 no memory; -4 cannot open,
// -5 too short to be DICOM, -6 a deflated data set that cannot be inflated).
struct ReadResult {
    DataSet data_set;
    int failure = 0;
};

ReadResult read_data_set(const char* path, const ReadOptions& options);

// The failure as a line for standard error.
const char* read_failure_text(int failure);
