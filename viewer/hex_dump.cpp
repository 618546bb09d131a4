#include "hex_dump.h"

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
