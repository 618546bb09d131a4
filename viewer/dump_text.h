// The dump as the memo holds it: the lines of a HeaderDump with the user's
// edits laid over them. Unedited lines stay in the file and are formatted
// when asked for; an edit replaces a run of lines by lines of its own, kept
// here. The text is UTF-8 (the dump's own lines are ASCII).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/hex_dump.h"

class DumpText {
public:
    // The dump unedited.
    explicit DumpText(HeaderDump dump = HeaderDump());

    std::size_t line_count() const { return line_count_; }
    // The file's bytes the dump shows.
    int64_t byte_count() const { return dump_.byte_count(); }
    // Line `index`, "" past the end.
    std::string line(std::size_t index) const;
    // Lines [first, first + count) that exist, in order.
    void lines(std::size_t first, std::size_t count, const DumpLineSink& put) const;
    // Replaces lines [first, first + count) (cut at the end) by `with`.
    void replace(std::size_t first, std::size_t count, std::vector<std::string> with);
    // Replaces the whole text by `text`, split at its line feeds.
    void set_text(const std::string& text);
    // Every line; for small texts.
    std::vector<std::string> all_lines() const;
    // The lines joined by line feeds.
    std::string text() const;
    // The lines a report writes: every line but a last one left empty, as a
    // text ending in a line break counts no line after it.
    void report_lines(const DumpLineSink& put) const;
    std::size_t report_line_count() const;
    // Lines the user typed or changed, kept in memory.
    std::size_t edited_line_count() const;

private:
    // A run of the dump's lines [first, first + count), or of edited lines.
    struct Piece {
        bool from_dump = true;
        std::size_t first = 0;
        std::size_t count = 0;
        std::vector<std::string> edited;
    };
    // Splits so that a piece starts at line `at`; returns that piece's index.
    std::size_t split_at(std::size_t at);

    HeaderDump dump_;
    std::vector<Piece> pieces_;
    std::size_t line_count_ = 0;
};
