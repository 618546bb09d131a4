#include "reader/written_vr.h"

#include "reader/vr.h"

namespace {

bool is_standard_vr(int32_t vr)
{
    switch (vr) {
    case VR_AE:
    case VR_AS:
    case VR_AT:
    case VR_CS:
    case VR_DA:
    case VR_DS:
    case VR_DT:
    case VR_FD:
    case VR_FL:
    case VR_IS:
    case VR_LO:
    case VR_LT:
    case VR_OB:
    case VR_OD:
    case VR_OF:
    case VR_OL:
    case VR_OV:
    case VR_OW:
    case VR_PN:
    case VR_SH:
    case VR_SL:
    case VR_SQ:
    case VR_SS:
    case VR_ST:
    case VR_SV:
    case VR_TM:
    case VR_UC:
    case VR_UI:
    case VR_UL:
    case VR_UN:
    case VR_UR:
    case VR_US:
    case VR_UT:
    case VR_UV: return true;
    default: return false;
    }
}

} // namespace

WrittenVr written_vr(const uint8_t* head, std::size_t size, bool big_endian)
{
    if (head == nullptr || size < 6) {
        return WrittenVr::unknown;
    }
    const auto group = static_cast<uint16_t>(big_endian ? (head[0] << 8) | head[1] : (head[1] << 8) | head[0]);
    if (group == 0xFFFE) {
        return WrittenVr::unknown;
    }
    const int32_t vr = vr_code(static_cast<char>(head[4]), static_cast<char>(head[5]));
    return is_standard_vr(vr) ? WrittenVr::explicit_vr : WrittenVr::implicit_vr;
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
