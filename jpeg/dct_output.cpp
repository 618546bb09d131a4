// Sequential DCT output: each component brought to full size (the
// triangle-filter upsampling for 2:1 horizontal and 2:1 both ways, sample
// replication for other integral factors) and the components interleaved
// pixel by pixel, one byte per sample at 8-bit precision and two bytes in
// host order at 12-bit.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "jpeg/dct_internal.h"

namespace dct {
namespace {

// Row `y` of a component's plane.
const uint16_t* PlaneRow(const Component& c, int32_t y)
{
    return c.plane.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(c.blocksWide) * 8;
}

// 2:1 horizontally: each input sample gives two outputs weighted 3:1 with
// its left and right neighbours, the end samples copied (inWidth >= 2). The rounding
// alternates (+1, +2) so that it has no bias.
void FancyH2(const uint16_t* in, int32_t inWidth, uint16_t* out)
{
    int32_t value = in[0];
    out[0] = static_cast<uint16_t>(value);
    out[1] = static_cast<uint16_t>((value * 3 + in[1] + 2) >> 2);
    for (int32_t x = 1; x < inWidth - 1; ++x) {
        value = in[x] * 3;
        out[2 * x] = static_cast<uint16_t>((value + in[x - 1] + 1) >> 2);
        out[2 * x + 1] = static_cast<uint16_t>((value + in[x + 1] + 2) >> 2);
    }
    const int32_t last = inWidth - 1;
    value = in[last];
    out[2 * last] = static_cast<uint16_t>((value * 3 + in[last - 1] + 1) >> 2);
    out[2 * last + 1] = static_cast<uint16_t>(value);
}

// 2:1 both ways: the nearer input row weighted 3:1 with the farther one,
// then horizontally as FancyH2 on the column sums (+8 / +7 rounding).
void FancyH2V2(const uint16_t* near, const uint16_t* far, int32_t inWidth, uint16_t* out)
{
    int32_t thisSum = near[0] * 3 + far[0];
    int32_t nextSum = near[1] * 3 + far[1];
    out[0] = static_cast<uint16_t>((thisSum * 4 + 8) >> 4);
    out[1] = static_cast<uint16_t>((thisSum * 3 + nextSum + 7) >> 4);
    int32_t lastSum = thisSum;
    thisSum = nextSum;
    for (int32_t x = 1; x < inWidth - 1; ++x) {
        nextSum = near[x + 1] * 3 + far[x + 1];
        out[2 * x] = static_cast<uint16_t>((thisSum * 3 + lastSum + 8) >> 4);
        out[2 * x + 1] = static_cast<uint16_t>((thisSum * 3 + nextSum + 7) >> 4);
        lastSum = thisSum;
        thisSum = nextSum;
    }
    const int32_t last = inWidth - 1;
    out[2 * last] = static_cast<uint16_t>((thisSum * 3 + lastSum + 8) >> 4);
    out[2 * last + 1] = static_cast<uint16_t>((thisSum * 4 + 7) >> 4);
}

// Output row `y` of component `c` at full size, in `scratch` when it has to
// be computed.
const uint16_t* FullRow(const DctState& state, const Component& c, int32_t y, uint16_t* scratch)
{
    const int32_t hFactor = state.hMax / c.h;
    const int32_t vFactor = state.vMax / c.v;
    if (hFactor == 1 && vFactor == 1) {
        return PlaneRow(c, y);
    }
    // The triangle filter needs at least three input samples across, as the
    // common decoders have it; narrower components are replicated.
    const bool fancy = hFactor == 2 && c.downWidth > 2 && (vFactor == 1 || vFactor == 2);
    if (fancy && vFactor == 1) {
        FancyH2(PlaneRow(c, y), c.downWidth, scratch);
    } else if (fancy) {
        const int32_t inRow = y / 2;
        // Above the first row and below the last, the edge row is repeated.
        const int32_t farRow = y % 2 == 0 ? std::max(inRow - 1, 0) : std::min(inRow + 1, c.downHeight - 1);
        FancyH2V2(PlaneRow(c, inRow), PlaneRow(c, farRow), c.downWidth, scratch);
    } else {
        const uint16_t* in = PlaneRow(c, y / vFactor);
        for (int32_t x = 0; x < state.width; ++x) {
            scratch[x] = in[x / hFactor];
        }
    }
    return scratch;
}

} // namespace

bool DctState::Emit(uint8_t* output) const
{
    const std::size_t count = static_cast<std::size_t>(componentCount);
    const std::size_t w = static_cast<std::size_t>(width);
    // Room for a whole upsampled row of every component (2 x downWidth may
    // pass the width by one).
    std::vector<uint16_t> scratch;
    try {
        scratch.resize(count * (w + 8));
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory for the output rows.");
    }
    const uint16_t* rows[kMaxComponents] = {};
    uint8_t* out = output;
    for (int32_t y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < count; ++i) {
            rows[i] = FullRow(*this, components[i], y, scratch.data() + i * (w + 8));
        }
        if (precision == 8) {
            if (count == 1) {
                for (std::size_t x = 0; x < w; ++x) {
                    out[x] = static_cast<uint8_t>(rows[0][x]);
                }
            } else {
                for (std::size_t x = 0; x < w; ++x) {
                    for (std::size_t i = 0; i < count; ++i) {
                        out[x * count + i] = static_cast<uint8_t>(rows[i][x]);
                    }
                }
            }
            out += w * count;
        } else {
            if (count == 1) {
                std::memcpy(out, rows[0], w * 2);
            } else {
                for (std::size_t x = 0; x < w; ++x) {
                    for (std::size_t i = 0; i < count; ++i) {
                        std::memcpy(out + (x * count + i) * 2, &rows[i][x], 2);
                    }
                }
            }
            out += w * count * 2;
        }
    }
    return true;
}

} // namespace dct
