// The accurate integer inverse DCT (the Loeffler-Ligtenberg-Moschytz
// algorithm with 13-bit constants, as in the IJG "islow" method), with its
// dequantization and range limiting, for one 8 x 8 block.
#pragma once

#include <cstdint>

#include "jpeg/bit_reader.h"

namespace dct {

// The sample range table of one precision: entry m (an IDCT output masked
// to 4 x 2^P values) is the output wrapped into [-2^(P+1), 2^(P+1)),
// level-shifted by 2^(P-1) and clamped to [0, 2^P - 1].
template <int32_t Precision>
struct RangeLimit {
    static constexpr int32_t kMask = (4 << Precision) - 1;
    uint16_t value[4 << Precision];

    RangeLimit()
    {
        const int32_t span = 1 << Precision;
        for (int32_t m = 0; m <= kMask; ++m) {
            const int32_t wrapped = m < 2 * span ? m : m - 4 * span;
            const int32_t shifted = wrapped + span / 2;
            value[m] = static_cast<uint16_t>(shifted < 0 ? 0 : shifted > span - 1 ? span - 1 : shifted);
        }
    }
};

template <int32_t Precision>
const RangeLimit<Precision>& RangeLimitTable()
{
    static const RangeLimit<Precision> table;
    return table;
}

constexpr int32_t kConstBits = 13;

// FIX(x) = round(x * 2^13)
constexpr int64_t kFix0_298631336 = 2446;
constexpr int64_t kFix0_390180644 = 3196;
constexpr int64_t kFix0_541196100 = 4433;
constexpr int64_t kFix0_765366865 = 6270;
constexpr int64_t kFix0_899976223 = 7373;
constexpr int64_t kFix1_175875602 = 9633;
constexpr int64_t kFix1_501321110 = 12299;
constexpr int64_t kFix1_847759065 = 15137;
constexpr int64_t kFix1_961570560 = 16069;
constexpr int64_t kFix2_053119869 = 16819;
constexpr int64_t kFix2_562915447 = 20995;
constexpr int64_t kFix3_072711026 = 25172;

JPEG_INLINE int64_t Descale(int64_t x, int32_t n) { return (x + (int64_t{1} << (n - 1))) >> n; }

// One pass over eight values: the even and odd parts and the butterfly,
// outputs descaled by `shift`. in(k) gives input k, out(k, v) stores output k.
template <typename In, typename Out>
JPEG_INLINE void IdctPass(In in, Out out, int32_t shift)
{
    int64_t z2 = in(2);
    int64_t z3 = in(6);
    int64_t z1 = (z2 + z3) * kFix0_541196100;
    int64_t tmp2 = z1 + z3 * -kFix1_847759065;
    int64_t tmp3 = z1 + z2 * kFix0_765366865;
    z2 = in(0);
    z3 = in(4);
    int64_t tmp0 = (z2 + z3) * (int64_t{1} << kConstBits);
    int64_t tmp1 = (z2 - z3) * (int64_t{1} << kConstBits);
    const int64_t tmp10 = tmp0 + tmp3;
    const int64_t tmp13 = tmp0 - tmp3;
    const int64_t tmp11 = tmp1 + tmp2;
    const int64_t tmp12 = tmp1 - tmp2;

    tmp0 = in(7);
    tmp1 = in(5);
    tmp2 = in(3);
    tmp3 = in(1);
    z1 = tmp0 + tmp3;
    z2 = tmp1 + tmp2;
    z3 = tmp0 + tmp2;
    int64_t z4 = tmp1 + tmp3;
    const int64_t z5 = (z3 + z4) * kFix1_175875602;
    tmp0 *= kFix0_298631336;
    tmp1 *= kFix2_053119869;
    tmp2 *= kFix3_072711026;
    tmp3 *= kFix1_501321110;
    z1 *= -kFix0_899976223;
    z2 *= -kFix2_562915447;
    z3 *= -kFix1_961570560;
    z4 *= -kFix0_390180644;
    z3 += z5;
    z4 += z5;
    tmp0 += z1 + z3;
    tmp1 += z2 + z4;
    tmp2 += z2 + z3;
    tmp3 += z1 + z4;

    out(0, Descale(tmp10 + tmp3, shift));
    out(7, Descale(tmp10 - tmp3, shift));
    out(1, Descale(tmp11 + tmp2, shift));
    out(6, Descale(tmp11 - tmp2, shift));
    out(2, Descale(tmp12 + tmp1, shift));
    out(5, Descale(tmp12 - tmp1, shift));
    out(3, Descale(tmp13 + tmp0, shift));
    out(4, Descale(tmp13 - tmp0, shift));
}

// Dequantizes `block` (natural order) with `quant` and writes the 8 x 8
// samples to `out` (row stride `stride` samples).
template <int32_t Precision, typename Sample>
void InverseDct(const int16_t* block, const int32_t* quant, Sample* out, std::ptrdiff_t stride)
{
    constexpr int32_t kPass1Bits = Precision == 8 ? 2 : 1;
    const RangeLimit<Precision>& range = RangeLimitTable<Precision>();
    int32_t workspace[64];

    // Pass 1: columns, into the workspace scaled up by kPass1Bits.
    for (int32_t col = 0; col < 8; ++col) {
        const int16_t* in = block + col;
        const int32_t* q = quant + col;
        int32_t* ws = workspace + col;
        if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
            const int32_t dc = static_cast<int32_t>(static_cast<int64_t>(in[0]) * q[0] * (1 << kPass1Bits));
            for (int32_t k = 0; k < 8; ++k) {
                ws[8 * k] = dc;
            }
            continue;
        }
        IdctPass([&](int32_t k) { return static_cast<int64_t>(in[8 * k]) * q[8 * k]; },
                 [&](int32_t k, int64_t v) { ws[8 * k] = static_cast<int32_t>(v); }, kConstBits - kPass1Bits);
    }

    // Pass 2: rows, descaled to samples through the range table.
    constexpr int32_t kFinalShift = kConstBits + kPass1Bits + 3;
    for (int32_t row = 0; row < 8; ++row) {
        const int32_t* ws = workspace + 8 * row;
        Sample* o = out + row * stride;
        if ((ws[1] | ws[2] | ws[3] | ws[4] | ws[5] | ws[6] | ws[7]) == 0) {
            const Sample value =
                static_cast<Sample>(range.value[Descale(ws[0], kPass1Bits + 3) & RangeLimit<Precision>::kMask]);
            for (int32_t k = 0; k < 8; ++k) {
                o[k] = value;
            }
            continue;
        }
        IdctPass([&](int32_t k) { return static_cast<int64_t>(ws[k]); },
                 [&](int32_t k, int64_t v) {
                     o[k] = static_cast<Sample>(range.value[v & RangeLimit<Precision>::kMask]);
                 },
                 kFinalShift);
    }
}

// A block whose only non-zero coefficient is DC: one sample value.
template <int32_t Precision, typename Sample>
void InverseDctDcOnly(int16_t dc, const int32_t* quant, Sample* out, std::ptrdiff_t stride)
{
    constexpr int32_t kPass1Bits = Precision == 8 ? 2 : 1;
    const int32_t scaled = static_cast<int32_t>(static_cast<int64_t>(dc) * quant[0] * (1 << kPass1Bits));
    const Sample value = static_cast<Sample>(
        RangeLimitTable<Precision>().value[Descale(scaled, kPass1Bits + 3) & RangeLimit<Precision>::kMask]);
    for (int32_t row = 0; row < 8; ++row) {
        for (int32_t k = 0; k < 8; ++k) {
            out[row * stride + k] = value;
        }
    }
}

} // namespace dct
