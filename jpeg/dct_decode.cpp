// The sequential DCT decoder's entry: the marker loop over the stream, one
// scan after another into the component planes, then the output.
#include <memory>
#include <new>

#include "jpeg/dct.h"
#include "jpeg/dct_internal.h"

namespace dct {
namespace {

bool IsFrameMarker(int32_t code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

bool AllDecoded(const DctState& state)
{
    for (int32_t i = 0; i < state.componentCount; ++i) {
        if (!state.components[i].decoded) {
            return false;
        }
    }
    return state.frameSeen;
}

bool Decode(DctState& state, uint8_t* output, std::size_t output_size)
{
    if (state.ReadByte() != 0xFF || state.ReadByte() != 0xD8) {
        return Fail("Not a JPEG stream.");
    }
    bool setUp = false;
    for (;;) {
        const int32_t code = state.ScanToMarker();
        if (code < 0 || code == 0xD9) {
            // A stream that ends after its last scan without EOI is whole.
            if (!AllDecoded(state)) {
                return Fail(state.frameSeen ? "Premature end of JPEG data: a component has no scan."
                                            : "Premature end of JPEG data before the frame header.");
            }
            break;
        }
        bool ok = true;
        if (IsFrameMarker(code)) {
            ok = state.GetSof(code);
        } else if (code == 0xC4) {
            ok = state.GetDht();
        } else if (code == 0xDB) {
            ok = state.GetDqt();
        } else if (code == 0xDD) {
            ok = state.GetDri();
        } else if (code == 0xDA) {
            ok = state.GetSos();
            if (ok && !setUp) {
                ok = state.SetUpFrame(output, output_size);
                setUp = true;
            }
            ok = ok && state.DecodeScan();
        } else if (code == 0xD8) {
            ok = Fail("Start of image inside the image.");
        } else if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            // A stray restart or TEM marker has no segment.
        } else {
            state.SkipSegment(); // APPn, COM, DNL, DHP, EXP, JPGn, DAC and reserved codes
        }
        if (!ok) {
            return false;
        }
    }
    return state.directOutput != nullptr || state.Emit(output);
}

} // namespace
} // namespace dct

int32_t DctJpegDecode(const uint8_t* data, std::size_t size, uint8_t* output, std::size_t output_size)
{
    std::unique_ptr<dct::DctState> state(new (std::nothrow) dct::DctState);
    if (state == nullptr) {
        dct::Fail("Out of memory for the decoder state.");
        return -1;
    }
    state->UseBytes(data, size);
    return dct::Decode(*state, output, output_size) ? 0 : -1;
}
