// Where a model writer's text goes: a buffer handed to standard output (or any
// stream) in large pieces, so that a writer appends to a string and never
// waits on a write per value.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class ModelOutput {
public:
    // Into `stream`; null keeps everything in text() (for tests and fuzzing).
    explicit ModelOutput(std::FILE* stream) : stream_(stream) {}

    std::string& text() { return text_; }
    // Hands the buffer to the stream once it is large.
    void flush_if_large()
    {
        if (text_.size() >= (1U << 20)) {
            flush();
        }
    }
    // Appends bytes in Base64, handing the text to the stream piece by piece,
    // so that a large value never stands whole in the buffer.
    void append_base64(std::string_view bytes);
    // false when the stream refused a write.
    bool flush()
    {
        if (stream_ != nullptr && !text_.empty()) {
            failed_ = failed_ || std::fwrite(text_.data(), 1, text_.size(), stream_) != text_.size();
            text_.clear();
        }
        return !failed_;
    }

private:
    std::FILE* stream_;
    std::string text_;
    bool failed_ = false;
};

// How the writers give bulk data and what they warn about.
struct ModelOptions {
    std::string file_path; // absolute, for BulkDataURI / BulkData uri
    bool pretty = false;   // JSON: indented, one member a line
};

// A value written as a string because it is no valid number: tag and text.
struct ModelWarning {
    uint32_t tag;
    std::string text;
};
