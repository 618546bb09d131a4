// The paths a file takes through Velmor, one function per fuzz target. The
// libFuzzer entry points call them, and the regression test replays every
// saved finding through the same function in the normal and sanitizer builds.
#pragma once

#include <cstddef>
#include <cstdint>

// The reader's element walk with loads (rotating VR hints) and skips.
void fuzz_reader_walk(const uint8_t* data, std::size_t size);
// dicom_single on the whole file, with every decoder behind it.
void fuzz_single(const uint8_t* data, std::size_t size);
// The frame index: the first byte picks the frame dicom_single_frame
// extracts (255: every frame, decoded on two threads; 254: the same into a
// sink, whose pieces must cover the image once); the rest is the file.
void fuzz_frames(const uint8_t* data, std::size_t size);
// One RLE frame; the first two bytes choose the slot size.
void fuzz_rle(const uint8_t* data, std::size_t size);
// One lossless JPEG fragment; the first three bytes choose depth and slot size.
void fuzz_ljpeg(const uint8_t* data, std::size_t size);
// One sequential DCT JPEG frame; the first two bytes give the slot size in
// 16-byte units.
void fuzz_dct(const uint8_t* data, std::size_t size);
// One compressed frame through a codec of image/: the first byte chooses the
// photometric interpretation, Pixel Representation and Bits Allocated; rows,
// columns and samples come from the codestream's own header when it has one.
void fuzz_jpeg_codec(const uint8_t* data, std::size_t size);
void fuzz_jpegls_codec(const uint8_t* data, std::size_t size);
void fuzz_jpeg2000_codec(const uint8_t* data, std::size_t size);
void fuzz_jpegxl_codec(const uint8_t* data, std::size_t size);
// One deflated or encapsulated uncompressed frame: bit 7 of the first byte
// picks the codec (clear: deflate), bits 5-6 Bits Allocated, bit 4 three
// samples per pixel; the next two bytes are Rows and Columns. A frame decoded
// must be what zlib inflates (or the bytes themselves), a failed one zeros.
void fuzz_frame_syntax_codec(const uint8_t* data, std::size_t size);
// Video pixel data: the first byte picks the codec (0 MPEG-2, 1 H.264, 2
// HEVC, by its value modulo 3), the second the frame size (its low 5 bits
// plus 1, times 8, square) and whether frames are decoded (bit 7); the rest
// is the Pixel Data value from its first item. The items joined into one
// stream, the stream's pictures listed, then frame 1, the last frame and
// frame 1 again decoded. Aborts when a picture lies outside the stream or
// the list has no clean start first.
void fuzz_video_stream(const uint8_t* data, std::size_t size);
// The viewer's file check, header walk and dump, then the Save report.
void fuzz_header_walk(const uint8_t* data, std::size_t size);
// A deflated file: a fixed meta group, the bytes as its compressed data set,
// through the reader's walk and the viewer's header walk.
void fuzz_inflate_view(const uint8_t* data, std::size_t size);
// One text value decoded under a character set: the (0008,0005) value up to
// the first line feed, one byte choosing the value's shape (and bit 2 a cut
// value), then the value's bytes. Aborts when the result is not UTF-8.
void fuzz_charset(const uint8_t* data, std::size_t size);
// The picture of an image record built from the input: sample reading,
// colour conversion, palette lookup, resampling and the window.
void fuzz_picture(const uint8_t* data, std::size_t size);
// The header walk's rows through the browser model: the tag query parser
// on the first bytes, find with the last bytes as the query, folding, tag
// paths, the byte-row link, copy, and the header compared with itself.
// Aborts when find shows a match without the rows above it, folding all
// leaves a nested row in view, a row's first byte leads to another row, or
// the header differs from itself.
void fuzz_browser(const uint8_t* data, std::size_t size);
// One file through Open and the display stages: the header walk, frame 1
// (and another frame the first byte picks) as the display keeps it, its
// window choices, and the picture at 256 x 256, at another size with
// overlays and inverted, and zoomed past 4 x; every window choice rendered.
void fuzz_display(const uint8_t* data, std::size_t size);
// The folder scan of one file, then that file three times over as one
// series: grouping and display order.
void fuzz_series(const uint8_t* data, std::size_t size);
// The bytes as a DICOMDIR on a small medium of its own (a few files, names
// in another case than pydicom's DICOMDIRs give them): its listing, then
// grouping. Aborts when a listed file lies outside the medium's folder or a
// DICOMDIR that cannot be read lists anything.
void fuzz_dicomdir(const uint8_t* data, std::size_t size);

// The image view's header attributes read from the file, then distances
// across its ultrasound regions, a readout and the view transform with them.
void fuzz_view_attributes(const uint8_t* data, std::size_t size);

// The file read into the export tree and written as the JSON model (plain and
// indented) and the native XML model; the last byte chooses the bulk data
// threshold and whether Pixel Data is loaded. Aborts when a model is not
// UTF-8.
void fuzz_model(const uint8_t* data, std::size_t size);

// The encapsulated document and the structured report of a file read into the
// export tree (the last byte chooses the bulk data threshold, so values are
// loaded or left in the file): the document copied out, the report's tree
// read from the tree and from the file, and written as lines. Aborts when the
// document's length passes its value's, a copy that succeeds writes another
// length, or a line is not UTF-8.
void fuzz_document(const uint8_t* data, std::size_t size);

// A multipart/related answer: the first byte seeds the sizes of the pieces
// it is fed in, the text up to the first line feed is the Content-Type, the
// rest the body. Aborts when a part's bytes arrive outside a part, more bytes
// are handed on than the body holds, or a parse that succeeds differs from
// the same body fed whole.
void fuzz_multipart(const uint8_t* data, std::size_t size);

// The bytes as a JSON model (a data set or a QIDO-RS array of them). A model
// read is written again, which must be UTF-8 and read back.
void fuzz_dicom_json(const uint8_t* data, std::size_t size);
