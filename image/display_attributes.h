// The attributes of the grayscale display path that extraction collects on
// its way to the pixel data: the Modality LUT, the file's windows and VOI
// LUTs, the Presentation LUT Shape and the overlay planes (groups 6000-601E).
// Values are kept as the file gives them; the display stages in viewer/
// check and interpret them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/dicom.h"

// One item of a Modality or VOI LUT Sequence.
struct LutItem {
    std::vector<uint16_t> descriptor; // (0028,3002): entries, first value mapped, bits per entry
    bool descriptor_signed = false;   // the descriptor came as SS: its second value is signed
    std::vector<uint16_t> data;       // (0028,3006), 16-bit words in host order
    std::string explanation;          // (0028,3003)
    std::string type;                 // (0028,3004), Modality LUT Type
};

// One overlay plane, group 6000 + 2 n.
struct OverlayItem {
    uint16_t group = 0;
    uint16_t rows = 0;                        // (60xx,0010)
    uint16_t columns = 0;                     // (60xx,0011)
    std::optional<int32_t> frames;            // (60xx,0015) Number of Frames in Overlay
    uint16_t first_frame = 1;                 // (60xx,0051) Image Frame Origin, 1-based
    int32_t origin_row = 1;                   // (60xx,0050), 1-based
    int32_t origin_column = 1;                //
    uint16_t bits_allocated = 1;              // (60xx,0100)
    uint16_t bit_position = 0;                // (60xx,0102)
    std::optional<std::vector<uint8_t>> data; // (60xx,3000), bytes in host word order
    std::string type;                         // (60xx,0040): G or R
    std::string description;                  // (60xx,0022)
};

struct DisplayAttributes {
    std::string modality;                  // (0008,0060)
    std::vector<double> window_centers;    // (0028,1050), every value
    std::vector<double> window_widths;     // (0028,1051)
    std::vector<std::string> window_names; // (0028,1055)
    std::string voi_lut_function;          // (0028,1056)
    std::string rescale_type;              // (0028,1054)
    std::optional<LutItem> modality_lut;   // first item of (0028,3000)
    std::vector<LutItem> voi_luts;         // items of (0028,3010)
    std::string presentation_lut_shape;    // (2050,0020)
    std::vector<OverlayItem> overlays;     // in group order
};

// Collects DisplayAttributes from the elements of one walk. The walk asks
// wanted() of each element; for those it loads with the hint returned, it
// hands the loaded value to store().
class DisplayAttributeCollector {
public:
    explicit DisplayAttributeCollector(DisplayAttributes& into) : into_(into) {}

    // The VR to load the element with when it is collected; nothing for the
    // rest. Item starts of the two LUT sequences are noted here.
    std::optional<int32_t> wanted(const ELEMENT& element);
    // The loaded value of a wanted element (the record's value block, which
    // this takes over and frees; null for an empty value).
    void store(const ELEMENT& element, void* value);

private:
    enum class Sequence { none, modality_lut, voi_lut };
    Sequence sequence_of(const ELEMENT& element) const;
    LutItem* current_item(Sequence sequence);
    OverlayItem& overlay(uint16_t group);

    DisplayAttributes& into_;
    int modality_items_ = 0;
};
