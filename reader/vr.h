// Value representation codes: the two ASCII letters of a VR packed into one
// number, first letter in the high byte ("UL" is 0x554C). 0 means "no VR".
#pragma once

#include <cstdint>

constexpr int32_t vr_code(char first, char second)
{
    return (static_cast<unsigned char>(first) << 8) | static_cast<unsigned char>(second);
}

enum VrCode : int32_t {
    VR_NONE = 0,
    VR_AE = vr_code('A', 'E'),
    VR_AS = vr_code('A', 'S'),
    VR_AT = vr_code('A', 'T'),
    VR_CS = vr_code('C', 'S'),
    VR_DA = vr_code('D', 'A'),
    VR_DL = vr_code('D', 'L'), // dictionary only: items and delimiters
    VR_DS = vr_code('D', 'S'),
    VR_DT = vr_code('D', 'T'),
    VR_FD = vr_code('F', 'D'),
    VR_FL = vr_code('F', 'L'),
    VR_IS = vr_code('I', 'S'),
    VR_LO = vr_code('L', 'O'),
    VR_LT = vr_code('L', 'T'),
    VR_OB = vr_code('O', 'B'),
    VR_OD = vr_code('O', 'D'),
    VR_OF = vr_code('O', 'F'),
    VR_OL = vr_code('O', 'L'),
    VR_OV = vr_code('O', 'V'),
    VR_OW = vr_code('O', 'W'),
    VR_OX = vr_code('O', 'X'), // dictionary only: OB or OW depending on the file
    VR_PN = vr_code('P', 'N'),
    VR_SH = vr_code('S', 'H'),
    VR_SL = vr_code('S', 'L'),
    VR_SQ = vr_code('S', 'Q'),
    VR_SS = vr_code('S', 'S'),
    VR_ST = vr_code('S', 'T'),
    VR_SV = vr_code('S', 'V'),
    VR_TM = vr_code('T', 'M'),
    VR_UC = vr_code('U', 'C'),
    VR_UI = vr_code('U', 'I'),
    VR_UL = vr_code('U', 'L'),
    VR_UN = vr_code('U', 'N'),
    VR_UR = vr_code('U', 'R'),
    VR_US = vr_code('U', 'S'),
    VR_UT = vr_code('U', 'T'),
    VR_UV = vr_code('U', 'V'),
};

// True for the VRs whose explicit-VR header has 2 reserved bytes and a
// 4-byte length (PS3.5 table 7.1-1); every other VR has a 2-byte length.
constexpr bool vr_has_long_length(int32_t vr)
{
    switch (vr) {
    case VR_OB:
    case VR_OD:
    case VR_OF:
    case VR_OL:
    case VR_OV:
    case VR_OW:
    case VR_SQ:
    case VR_SV:
    case VR_UC:
    case VR_UN:
    case VR_UR:
    case VR_UT:
    case VR_UV: return true;
    default: return false;
    }
}

// True for the string VRs whose loaded value is split at backslashes into a
// pointer table and its text; every other VR loads as one block.
constexpr bool vr_is_split_string(int32_t vr)
{
    switch (vr) {
    case VR_AE:
    case VR_AS:
    case VR_CS:
    case VR_DA:
    case VR_DS:
    case VR_DT:
    case VR_IS:
    case VR_LO:
    case VR_PN:
    case VR_SH:
    case VR_TM:
    case VR_UI: return true;
    default: return false;
    }
}
