// DICOM byte streams built by hand for the tests: the preamble, the meta
// group, elements in any of the four encodings, sequences and encapsulated
// pixel data. Write them out with write_temp (tests/common/test_temp_dir.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace test_dicom {

inline constexpr uint32_t undefined_length = 0xFFFFFFFFU;

enum class Encoding { ExplicitLittle, ImplicitLittle, ExplicitBig, ImplicitBig };

// Which fields the meta group holds besides the transfer syntax.
struct MetaFields {
    bool group_length = true; // (0002,0000) UL
    bool version = true;      // (0002,0001) OB 00 01
};

// Builds element bytes in one encoding; the encoding can change mid-stream
// (after the meta group).
class DicomBytes {
public:
    explicit DicomBytes(Encoding encoding = Encoding::ExplicitLittle) : encoding_(encoding) {}

    // The preamble and "DICM", the meta group with the transfer syntax, then
    // the data set in the given encoding.
    static DicomBytes file(const std::string& transfer_syntax, Encoding encoding = Encoding::ExplicitLittle,
                           MetaFields fields = {})
    {
        DicomBytes b;
        b.preamble().meta(transfer_syntax, fields).set_encoding(encoding);
        return b;
    }

    DicomBytes& set_encoding(Encoding encoding)
    {
        encoding_ = encoding;
        return *this;
    }
    bool big() const { return encoding_ == Encoding::ExplicitBig || encoding_ == Encoding::ImplicitBig; }
    bool implicit() const { return encoding_ == Encoding::ImplicitLittle || encoding_ == Encoding::ImplicitBig; }

    DicomBytes& raw(std::string_view bytes)
    {
        bytes_ += bytes;
        return *this;
    }
    DicomBytes& raw(const std::vector<uint8_t>& bytes) { return raw(as_text(bytes)); }
    DicomBytes& u8(uint8_t value) { return raw(std::string(1, static_cast<char>(value))); }
    DicomBytes& u16(uint16_t value) { return raw(n16(value)); }
    DicomBytes& u32(uint32_t value) { return raw(n32(value)); }
    // A bare tag, for headers no encoding would write.
    DicomBytes& tag(uint16_t group, uint16_t element) { return u16(group).u16(element); }

    // The 128-byte preamble (zeros, or the given text) and "DICM".
    DicomBytes& preamble(const std::string& text = "")
    {
        std::string pre = text;
        pre.resize(128, '\0');
        return raw(pre + "DICM");
    }
    // A file meta group, always explicit VR little endian, carrying the
    // transfer syntax (padded to even length with a NUL) unless it is empty.
    DicomBytes& meta(const std::string& transfer_syntax, MetaFields fields = {})
    {
        const Encoding saved = encoding_;
        encoding_ = Encoding::ExplicitLittle;
        std::string uid = transfer_syntax;
        if (uid.size() % 2 != 0) {
            uid.push_back('\0');
        }
        const uint32_t version_size = fields.version ? 14 : 0;
        const uint32_t uid_size = uid.empty() ? 0 : 8 + static_cast<uint32_t>(uid.size());
        if (fields.group_length) {
            element(0x0002, 0x0000, "UL", n32(version_size + uid_size));
        }
        if (fields.version) {
            element(0x0002, 0x0001, "OB", std::string("\0\1", 2));
        }
        if (!uid.empty()) {
            element(0x0002, 0x0010, "UI", uid);
        }
        encoding_ = saved;
        return *this;
    }

    // A tag and a length in the current encoding; items and delimiters of
    // group 0xFFFE always take the implicit form, and the VRs with a 32-bit
    // length get their two reserved bytes.
    DicomBytes& header(uint16_t group, uint16_t element, const char* vr, uint32_t length = undefined_length)
    {
        u16(group);
        u16(element);
        if (implicit() || group == 0xFFFE) {
            return u32(length);
        }
        raw(std::string_view(vr, 2));
        if (long_length(std::string_view(vr, 2))) {
            u16(0);
            return u32(length);
        }
        return u16(static_cast<uint16_t>(length));
    }
    // A header and its value; length from the value.
    DicomBytes& element(uint16_t group, uint16_t element, const char* vr, std::string_view value)
    {
        header(group, element, vr, static_cast<uint32_t>(value.size()));
        return raw(value);
    }
    DicomBytes& element(uint16_t group, uint16_t number, const char* vr, const std::vector<uint8_t>& value)
    {
        return element(group, number, vr, as_text(value));
    }
    DicomBytes& element(uint16_t group, uint16_t number, const char* vr, std::initializer_list<uint8_t> value)
    {
        return element(group, number, vr, std::vector<uint8_t>(value));
    }
    // A literal value, embedded NULs included.
    template <std::size_t N>
    DicomBytes& element(uint16_t group, uint16_t number, const char* vr, const char (&value)[N])
    {
        return element(group, number, vr, std::string_view(value, N - 1));
    }
    // A text value, padded with a space to even length.
    DicomBytes& text(uint16_t group, uint16_t number, const char* vr, std::string value)
    {
        if (value.size() % 2 != 0) {
            value.push_back(' ');
        }
        return element(group, number, vr, value);
    }
    // US values in the current byte order.
    DicomBytes& us(uint16_t group, uint16_t number, std::initializer_list<uint16_t> values)
    {
        std::string value;
        for (const uint16_t v : values) {
            value += n16(v);
        }
        return element(group, number, "US", value);
    }
    DicomBytes& us(uint16_t group, uint16_t number, uint16_t value) { return us(group, number, {value}); }
    // The basic image description: samples, photometric interpretation, rows,
    // columns, bits allocated and stored, high bit.
    DicomBytes& image(uint16_t rows, uint16_t columns, uint16_t bits, uint16_t samples = 1)
    {
        us(0x0028, 0x0002, samples);
        text(0x0028, 0x0004, "CS", samples == 3 ? "RGB" : "MONOCHROME2");
        us(0x0028, 0x0010, rows);
        us(0x0028, 0x0011, columns);
        us(0x0028, 0x0100, bits);
        us(0x0028, 0x0101, bits);
        return us(0x0028, 0x0102, static_cast<uint16_t>(bits - 1));
    }

    DicomBytes& item(uint32_t length = undefined_length) { return header(0xFFFE, 0xE000, "", length); }
    DicomBytes& item_end() { return header(0xFFFE, 0xE00D, "", 0); }
    DicomBytes& sequence_end() { return header(0xFFFE, 0xE0DD, "", 0); }
    // An item of defined length with its value: a sequence item's elements or
    // a pixel data fragment.
    DicomBytes& fragment(std::string_view value)
    {
        item(static_cast<uint32_t>(value.size()));
        return raw(value);
    }
    DicomBytes& fragment(const std::vector<uint8_t>& value) { return fragment(as_text(value)); }
    // Encapsulated Pixel Data: the offset table item, one item per fragment
    // and the sequence delimiter.
    DicomBytes& encapsulated(const std::vector<std::string>& fragments, std::string_view offset_table = {})
    {
        header(0x7FE0, 0x0010, "OB").fragment(offset_table);
        for (const std::string& f : fragments) {
            fragment(f);
        }
        return sequence_end();
    }

    // Numbers in the current byte order, as value bytes.
    std::string n16(uint16_t value) const { return number(value, 2); }
    std::string n32(uint32_t value) const { return number(value, 4); }
    std::string n64(uint64_t value) const { return number(value, 8); }

    std::size_t size() const { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }
    std::vector<uint8_t> byte_vector() const { return {bytes_.begin(), bytes_.end()}; }

    static bool long_length(std::string_view vr)
    {
        for (const std::string_view code :
             {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"}) {
            if (vr == code) {
                return true;
            }
        }
        return false;
    }

private:
    static std::string_view as_text(const std::vector<uint8_t>& bytes)
    {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
    std::string number(uint64_t value, int size) const
    {
        std::string out(static_cast<std::size_t>(size), '\0');
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (big() ? size - 1 - i : i);
            out[static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
        }
        return out;
    }

    Encoding encoding_;
    std::string bytes_;
};

// Little-endian numbers as bytes.
inline std::string le16(uint16_t value) { return DicomBytes().n16(value); }
inline std::string le32(uint32_t value) { return DicomBytes().n32(value); }

} // namespace test_dicom
