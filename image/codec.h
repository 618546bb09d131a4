// Decoders of one compressed frame held in memory, one module per codec
// family (codec_*.cpp), chosen by the transfer syntax of the open file.
// Extraction assembles a frame's bytes from its fragments and hands them to
// the codec together with what the data set says the frame holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What the data set says each frame holds.
struct frame_format {
    uint16_t rows;
    uint16_t columns;
    uint16_t samples_per_pixel;
    uint16_t bits_allocated;
    uint16_t bits_stored;
    uint16_t pixel_representation;
    uint16_t planar_configuration;
    int32_t photometric; // index into photometric_names
};

// How a decoded frame lies in its slot, where it differs from the data set
// (YBR data converted to RGB, colour written pixel by pixel). A codec starts
// from the frame_format's values and changes what its output changes.
struct frame_layout {
    int32_t photometric;
    uint16_t planar_configuration;
};

// What a codestream's own header announces.
struct codestream_header {
    uint32_t rows;
    uint32_t columns;
    uint32_t components;
    uint32_t precision;
    bool is_signed;
};

// Takes a decoded frame a band of whole rows at a time, in order; false
// stops the decode.
struct band_sink {
    bool (*take)(void* context, const uint8_t* rows, std::size_t size);
    void* context;
};

// A frame decoded at a reduced resolution: `columns` x `rows` pixels laid
// out as the whole frame's would be (samples in host byte order). Along
// each axis sample k stands for the frame around pixel step x k + origin
// (pixel centres at whole numbers).
struct reduced_frame {
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t step = 1;
    double origin = 0;
    std::vector<uint8_t> pixels;
};

// How many times a columns x rows frame can be halved (each side rounded
// up, at most `most` times) with both sides still reaching wanted_columns x
// wanted_rows.
int reduction_steps(uint32_t columns, uint32_t rows, uint32_t wanted_columns, uint32_t wanted_rows, int most);

struct frame_codec {
    const char* name;
    // The most bytes of decoded image one byte of this codec's data can give:
    // frames announcing more than this times the bytes left are refused
    // before anything is allocated.
    uint32_t max_expansion;
    // Reads the header at the start of a frame's bytes; false when there is
    // none this codec can read.
    // Null for a codec whose data announces no image size (RLE); its decode
    // writes every byte of the slot whatever the data holds.
    bool (*read_header)(const uint8_t* data, std::size_t size, codestream_header& header);
    // Decodes one whole frame into `slot` (`slot_size` bytes, exactly one
    // frame as `format` describes it, samples in host byte order). Never
    // writes past the slot nor reads past `size`. 0, or -1 after logging why.
    int (*decode)(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                  std::size_t slot_size, frame_layout& layout);
    // Decodes one whole frame as `decode` does but hands it to `bands` a band
    // of whole rows at a time, holding no more than a band: the rows of the
    // codestream's frame, which is no larger than `slot_size` bytes. Null for
    // a codec that decodes whole frames only.
    int (*decode_bands)(const uint8_t* data, std::size_t size, const frame_format& format, std::size_t slot_size,
                        const band_sink& bands, frame_layout& layout);
    // Decodes one frame as `decode` does but at the lowest resolution the
    // codestream offers (its sides halved at each step) that still reaches
    // `columns` x `rows`, or in full when it offers none. Never larger than
    // the frame the data set describes. 0, or -1 after logging why. Null for
    // a codec without reduced resolutions.
    int (*decode_reduced)(const uint8_t* data, std::size_t size, const frame_format& format, uint32_t columns,
                          uint32_t rows, reduced_frame& out, frame_layout& layout);
};

// The codec of a transfer syntax UID, or null when no codec here reads it.
const frame_codec* codec_for_transfer_syntax(const char* uid);
