#include "viewer/dump_text.h"

#include <algorithm>
#include <iterator>

DumpText::DumpText(HeaderDump dump) : dump_(std::move(dump)), line_count_(dump_.line_count())
{
    if (line_count_ > 0) {
        pieces_.push_back({true, 0, line_count_, {}});
    }
}

std::size_t DumpText::split_at(std::size_t at)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
        Piece& piece = pieces_[i];
        if (at == start) {
            return i;
        }
        if (at < start + piece.count) {
            const std::size_t head = at - start;
            Piece tail;
            tail.from_dump = piece.from_dump;
            tail.count = piece.count - head;
            if (piece.from_dump) {
                tail.first = piece.first + head;
            } else {
                tail.edited.assign(
                    std::make_move_iterator(piece.edited.begin() + static_cast<std::ptrdiff_t>(head)),
                    std::make_move_iterator(piece.edited.end()));
                piece.edited.resize(head);
            }
            piece.count = head;
            pieces_.insert(pieces_.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
            return i + 1;
        }
        start += piece.count;
    }
    return pieces_.size();
}

void DumpText::replace(std::size_t first, std::size_t count, std::vector<std::string> with)
{
    first = std::min(first, line_count_);
    count = std::min(count, line_count_ - first);
    const std::size_t from = split_at(first);
    const std::size_t to = split_at(first + count);
    pieces_.erase(pieces_.begin() + static_cast<std::ptrdiff_t>(from),
                  pieces_.begin() + static_cast<std::ptrdiff_t>(to));
    line_count_ = line_count_ - count + with.size();
    if (with.empty()) {
        return;
    }
    // Edited lines next to edited lines join their piece, so that typing
    // along a line keeps one piece.
    std::size_t at = from;
    if (at > 0 && !pieces_[at - 1].from_dump) {
        Piece& before = pieces_[at - 1];
        before.count += with.size();
        before.edited.insert(before.edited.end(), std::make_move_iterator(with.begin()),
                             std::make_move_iterator(with.end()));
        if (at < pieces_.size() && !pieces_[at].from_dump) {
            before.count += pieces_[at].count;
            before.edited.insert(before.edited.end(), std::make_move_iterator(pieces_[at].edited.begin()),
                                 std::make_move_iterator(pieces_[at].edited.end()));
            pieces_.erase(pieces_.begin() + static_cast<std::ptrdiff_t>(at));
        }
        return;
    }
    if (at < pieces_.size() && !pieces_[at].from_dump) {
        Piece& after = pieces_[at];
        after.count += with.size();
        after.edited.insert(after.edited.begin(), std::make_move_iterator(with.begin()),
                            std::make_move_iterator(with.end()));
        return;
    }
    Piece piece;
    piece.from_dump = false;
    piece.count = with.size();
    piece.edited = std::move(with);
    pieces_.insert(pieces_.begin() + static_cast<std::ptrdiff_t>(at), std::move(piece));
}

void DumpText::lines(std::size_t first, std::size_t count, const DumpLineSink& put) const
{
    const std::size_t end = first + std::min(count, line_count_ - std::min(first, line_count_));
    std::size_t start = 0;
    for (const Piece& piece : pieces_) {
        const std::size_t piece_end = start + piece.count;
        if (piece_end > first && start < end) {
            const std::size_t from = std::max(first, start) - start;
            const std::size_t to = std::min(end, piece_end) - start;
            if (piece.from_dump) {
                dump_.lines(piece.first + from, to - from, put);
            } else {
                for (std::size_t i = from; i < to; ++i) {
                    std::string line = piece.edited[i];
                    put(line);
                }
            }
        }
        start = piece_end;
        if (start >= end) {
            break;
        }
    }
}

std::string DumpText::line(std::size_t index) const
{
    std::string result;
    lines(index, 1, [&](std::string& line) { result = std::move(line); });
    return result;
}

void DumpText::set_text(const std::string& text)
{
    std::vector<std::string> split;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            split.push_back(text.substr(start));
            break;
        }
        split.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    pieces_.clear();
    line_count_ = 0;
    replace(0, 0, std::move(split));
}

std::vector<std::string> DumpText::all_lines() const
{
    std::vector<std::string> all;
    all.reserve(line_count_);
    lines(0, line_count_, [&](std::string& line) { all.push_back(std::move(line)); });
    return all;
}

std::string DumpText::text() const
{
    std::string out;
    bool first = true;
    lines(0, line_count_, [&](std::string& line) {
        if (!first) {
            out += '\n';
        }
        first = false;
        out += line;
    });
    return out;
}

std::size_t DumpText::report_line_count() const
{
    return line_count_ > 0 && line(line_count_ - 1).empty() ? line_count_ - 1 : line_count_;
}

void DumpText::report_lines(const DumpLineSink& put) const { lines(0, report_line_count(), put); }

std::size_t DumpText::edited_line_count() const
{
    std::size_t count = 0;
    for (const Piece& piece : pieces_) {
        count += piece.from_dump ? 0 : piece.count;
    }
    return count;
}
