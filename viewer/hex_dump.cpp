#include "hex_dump.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

const std::vector<std::string>& dump_header_lines()
{
    static const std::vector<std::string> lines = {
        "Address  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 0123456789ABCDEF",
        "--------+--+--+--+--+--+--+--+--+--+--+--+--+--+--+--+--+----------------",
    };
    return lines;
}

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr std::size_t heading_lines = 2;
// Lines read from the file at a time.
constexpr std::size_t block_lines = 4096;

// "%08X " of the offset, "%02X " per byte, then the bytes as characters.
std::string dump_line(std::size_t offset, const uint8_t* bytes, std::size_t count)
{
    std::string line(9 + count * 4, ' ');
    char* out = line.data();
    const auto address = static_cast<unsigned>(offset);
    for (int digit = 0; digit < 8; ++digit) {
        out[digit] = hex_digits[(address >> (28 - 4 * digit)) & 0xF];
    }
    out += 9;
    for (std::size_t i = 0; i < count; ++i, out += 3) {
        out[0] = hex_digits[bytes[i] >> 4];
        out[1] = hex_digits[bytes[i] & 0xF];
    }
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        *out++ = (b < 0x20 || b > 0x7F) ? '.' : static_cast<char>(b);
    }
    return line;
}

} // namespace

namespace {

constexpr int address_columns = 9; // "%08X "
constexpr int bytes_per_line = 16;
constexpr int hex_columns = 3 * bytes_per_line;

} // namespace

std::size_t dump_line_of(int64_t offset) { return 2 + static_cast<std::size_t>(offset / bytes_per_line); }

int dump_hex_column(int64_t offset) { return address_columns + 3 * static_cast<int>(offset % bytes_per_line); }

int dump_char_column(int64_t offset)
{
    return address_columns + hex_columns + static_cast<int>(offset % bytes_per_line);
}

int64_t dump_byte_at(std::size_t line, int column)
{
    if (line < 2 || column < address_columns) {
        return -1;
    }
    const auto start = static_cast<int64_t>(line - 2) * bytes_per_line;
    const int in_hex = column - address_columns;
    if (in_hex < hex_columns) {
        return in_hex % 3 == 2 ? -1 : start + in_hex / 3;
    }
    const int in_chars = in_hex - hex_columns;
    return in_chars < bytes_per_line ? start + in_chars : -1;
}

std::vector<std::string> dump_lines(const uint8_t* bytes, std::size_t size)
{
    std::vector<std::string> lines;
    lines.reserve(size / 16 + 1);
    const std::size_t full = size / 16;
    for (std::size_t k = 0; k < full; ++k) {
        lines.push_back(dump_line(k * 16, bytes + k * 16, 16));
    }
    lines.push_back(dump_line(full * 16, bytes + full * 16, size % 16));
    return lines;
}

struct HeaderDump::Descriptor {
    int fd = -1;
    explicit Descriptor(int d) : fd(d) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

HeaderDump::HeaderDump(std::FILE* file, int64_t size)
{
    const int fd = file != nullptr ? ::fcntl(::fileno(file), F_DUPFD_CLOEXEC, 0) : -1;
    if (fd >= 0) {
        file_ = std::make_shared<const Descriptor>(fd);
    }
    size_ = file_ ? std::max<int64_t>(size, 0) : 0;
}

std::size_t HeaderDump::line_count() const
{
    return file_ ? heading_lines + static_cast<std::size_t>(size_ / 16) + 1 : heading_lines;
}

void HeaderDump::lines(std::size_t first, std::size_t count, const DumpLineSink& put) const
{
    const std::size_t end = std::min(line_count(), first + std::min(count, line_count()));
    std::size_t index = first;
    for (; index < std::min(end, heading_lines); ++index) {
        std::string line = dump_header_lines()[index];
        put(line);
    }
    std::vector<uint8_t> block;
    while (index < end) {
        // Data line k covers bytes [16 k, min(16 k + 16, size)).
        const std::size_t k = index - heading_lines;
        const std::size_t lines_now = std::min(block_lines, end - index);
        const int64_t from = static_cast<int64_t>(k) * 16;
        const int64_t wanted = std::min<int64_t>(static_cast<int64_t>(lines_now) * 16, size_ - from);
        block.resize(static_cast<std::size_t>(wanted));
        std::size_t got = 0;
        while (got < block.size()) {
            const ssize_t n = ::pread(file_->fd, block.data() + got, block.size() - got,
                                      static_cast<off_t>(from + static_cast<int64_t>(got)));
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        for (std::size_t i = 0; i < lines_now; ++i, ++index) {
            const std::size_t start = std::min(i * 16, got);
            const std::size_t bytes = std::min<std::size_t>(16, got - start);
            std::string line = dump_line((k + i) * 16, block.data() + start, bytes);
            put(line);
        }
    }
}

std::string HeaderDump::line(std::size_t index) const
{
    std::string result;
    lines(index, 1, [&](std::string& line) { result = std::move(line); });
    return result;
}

std::vector<std::string> HeaderDump::all_lines() const
{
    std::vector<std::string> result;
    result.reserve(line_count());
    lines(0, line_count(), [&](std::string& line) { result.push_back(std::move(line)); });
    return result;
}
