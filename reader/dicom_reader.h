// A DICOM element stream reader: one open file, its element record, its
// nesting stack and its transfer syntax, all members. Readers share nothing,
// so each thread can read its own files. The reader owns its stream and the
// transfer syntax value; a value block that load() hands out in the record
// belongs to the caller (std::free), as the record's users expect.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "reader/dicom.h"

// The reader's state: what the file and its transfer syntax say about the
// encoding, and where the reading stands.
struct DicomReaderState {
    std::FILE* reader_stream = nullptr;
    char** transfer_syntax = nullptr; // split string value of (0002,0010), owned by the reader
    int32_t meta_pending = 0;
    int32_t syntax = 0;
    int32_t data_syntax = 0;
    int32_t pixel_syntax = 0;
    int32_t host_order = 0;
    int32_t compression = 0;
    int32_t encaps_state = 0;
    uint8_t sq_level = 0;
    std::array<uint32_t, 256> sq_remaining{};
    std::array<std::array<uint16_t, 2>, 256> sq_tags{};
    int64_t file_size = 0; // bytes in the open file, for refusing impossible lengths
    // 0, or the status of the failure that closed the reader (-1 read error,
    // -2 end of file inside an element, -3 no memory); reset by open().
    // The end of the file at an element boundary is no failure.
    int32_t failure = 0;
    // The stream is a deflated file's inflated view (reset by close()).
    bool stream_is_inflated_view = false;
};

class DicomReader {
public:
    DicomReader() = default;
    ~DicomReader();
    DicomReader(const DicomReader&) = delete;
    DicomReader& operator=(const DicomReader&) = delete;

    // 0, or -1 no name, -4 cannot open, -5 the first 132 bytes cannot be
    // read, -6 a deflated data set that cannot be inflated (too large, no room).
    int open(const char* name);
    // Reads through `stream`, which the reader takes over, from its first
    // byte; `inflated_view`: the stream is a deflated file's inflated view
    // (reader/inflate_view.h), read as it is. Statuses as open()'s.
    int open_stream(std::FILE* stream, bool inflated_view);
    // The same for a stream without a file descriptor of its own (one made by
    // fopencookie): `file_size` bytes, as its file holds them.
    int open_stream(std::FILE* stream, bool inflated_view, int64_t file_size);
    // Reads the open stream again from its first byte, as open() left it;
    // -4 when the reader is closed.
    int restart();
    // Reads the next element header into the record; null at the end of the
    // file or after a failure (the reader is then closed).
    ELEMENT* element();
    // Loads the current element's value into record().value; 0, or -1 closed,
    // -2 no memory, -3 the value runs past the end of the file.
    int load(int32_t hint);
    // Moves past the current element's value; 0 or a failure status.
    int skip();
    // Trims the loaded string components (PN: '^' becomes ' ').
    void clean();
    int close();
    // Bytes left in the open file from the current position (0 when closed).
    int64_t bytes_left() const;

    ELEMENT& record() { return record_; }
    const DicomReaderState& state() const { return state_; }
    // For tests that start the reader from a given state.
    DicomReaderState& state() { return state_; }
    // Reads through an already open stream (a test's or a benchmark's bytes):
    // the reader takes the stream over, closing it with close().
    void attach(std::FILE* stream, int64_t file_size, int32_t syntax);
    // Stops reading through the attached stream without closing it.
    std::FILE* detach();

    // The steps of element() and load(), public for their tests.
    void vr();
    int vm();
    void endian();
    void load_endian();
    void swap(void* number, int size) const;
    int check_stream(int quiet);
    void toggle_host_order();
    void transfer();
    void encapsulated(int reset);
    void sequence(int reset);

private:
    // Opening from the stream's first byte: the preamble, "DICM" and the
    // encoding of what follows.
    int start();
    int64_t position() const;
    bool read_bytes(void* into, std::size_t count);
    bool seek_to(int64_t position);
    int fail(int status, const char* message);
    int fail_end_of_file();
    void fail_out_of_memory();
    void fail_seek();
    bool read_through_inflated_view();
    void read_vr_and_length();
    bool take_transfer_syntax();
    void count_against_open_level();
    void skip_premature_item();
    int split_string_value();
    void set_whole_syntax(int32_t syntax);
    // At the data set's first element (the stream at its tag): reads the data
    // set with or without VRs as its header is written, whatever the transfer
    // syntax said, and warns when the two differ.
    void follow_written_vr();

    DicomReaderState state_;
    ELEMENT record_{};
};

// The reader behind the dicom_* functions: one per thread.
DicomReader& dicom_default_reader();
