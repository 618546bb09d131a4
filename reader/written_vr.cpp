#include "reader/written_vr.h"

WrittenVr written_vr(const uint8_t* head, std::size_t size, bool big_endian)
{
    if (head == nullptr || size < 6) {
        return WrittenVr::unknown;
    }
    const auto group = static_cast<uint16_t>(big_endian ? (head[0] << 8) | head[1] : (head[1] << 8) | head[0]);
    if (group == 0xFFFE) {
        return WrittenVr::unknown;
    }
    // Two capitals: a 32-bit length whose low bytes read so would make the
    // first element longer than 16 KB.
    const auto capital = [](uint8_t b) { return b >= 'A' && b <= 'Z'; };
    return capital(head[4]) && capital(head[5]) ? WrittenVr::explicit_vr : WrittenVr::implicit_vr;
}

WrittenVr declared_vr(std::string_view uid)
{
    while (!uid.empty() && (uid.back() == ' ' || uid.back() == '\0')) {
        uid.remove_suffix(1);
    }
    if (uid == "1.2.840.10008.1.2" || uid == "1.2.840.10008.1.20" || uid.starts_with("1.2.840.113619.5.2")) {
        return WrittenVr::implicit_vr;
    }
    return uid.starts_with("1.2.840.10008.1.2.") ? WrittenVr::explicit_vr : WrittenVr::unknown;
}

const char* written_vr_warning(WrittenVr written)
{
    return written == WrittenVr::implicit_vr
               ? "Transfer syntax says explicit VR but the data set is implicit VR (read as implicit VR)"
               : "Transfer syntax says implicit VR but the data set is explicit VR (read as explicit VR)";
}
