// The pixel file velmor-dump pixels writes: the frames go to it as they are
// decoded, each at its place, so that no more than a frame per decoding
// thread is ever held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/single.h"

class pixel_file final : public pixel_sink {
public:
    explicit pixel_file(const char* path) : path_(path) {}
    ~pixel_file();
    pixel_file(const pixel_file&) = delete;
    pixel_file& operator=(const pixel_file&) = delete;

    // Whether `path` can be written this way, out of order, while `input` is
    // read and the record goes to standard output: a new or regular file
    // other than the input and standard output (not a pipe or a device).
    static bool can_take(const char* path, const char* input);

    // The file is created (or opened) at the first bytes, so that an image
    // refused before any frame is decoded leaves it as it was; a file that
    // was there is overwritten in place and cut to the image's length.
    bool put(uint64_t offset, const uint8_t* bytes, std::size_t size) override;
    // After a whole extraction: the file closed, created empty for an image
    // without bytes. False when a write or the close failed.
    bool finish();
    // After a failed extraction: a file this run created is removed, one that
    // was there is left empty.
    void abandon();
    bool failed() const { return failed_; }

private:
    bool open();

    const char* path_;
    int descriptor_ = -1;
    uint64_t end_ = 0; // the end of the bytes written
    bool created_ = false;
    bool failed_ = false;
};
