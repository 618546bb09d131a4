// The image step of Open and of each frame step: the file through the stream
// reader and image extraction into the 256 x 256 display picture. Qt-free;
// the window shows the message box the result names.
#pragma once

#include <string>

#include "display.h"
#include "element_grid.h"
#include "image/image_failure.h"
#include "viewer_state.h"

struct single_image;
class ImageSource;

enum class ImageStepResult {
    Shown,
    OpenFailed,     // the reader could not open the file
    LoadFailed,     // no image record, or no samples the viewer can show
    NotMonochrome2, // a photometric interpretation without a picture (HSV, ARGB, CMYK, unknown)
    OutOfMemory,    // no memory for the frame
    FramePastEnd,   // a frame the file does not hold: past its count, or cut off with the file
    NoPixelData,    // the data set holds no Pixel Data (7FE0,0010): nothing to show, nothing wrong
};

// The first line of the message box of a failed image step ("" for Shown).
const char* image_step_message(ImageStepResult result);

// The ERROR box's text for a failed image step: "DICOM Image Load Failed.!"
// and, when the failure has one, its reason on a second line.
std::string image_step_box_text(ImageStepResult result, const image_failure& failure);

// What the step learned about the frames of the file.
struct FrameInfo {
    int count = 1;          // frames the file holds
    int bits_allocated = 0; // of the samples shown
};

// Builds the picture of frame `index` (0-based) of an extracted record:
// samples read as declared, through the modality stage, the aspect ratio
// kept. False (picture untouched) when
// the frame cannot be shown; `result` and `failure` say why.
bool build_display_picture(const single_image& image, int index, DisplayPicture& picture, ImageStepResult& result,
                           image_failure& failure);
bool build_display_picture(const single_image& image, int index, DisplayPicture& picture, ImageStepResult& result);
// The same for a record whose frame `index` is frame `frame_number` of the
// file (a record of one frame: index 0), for the overlay planes of that frame.
bool build_display_picture(const single_image& image, int index, int frame_number, DisplayPicture& picture,
                           ImageStepResult& result, image_failure& failure);

// Opens `path` with the reader, extracts frame `index` (0-based) and
// resamples it into `picture`. Reader and record are released on every path.
// `failure` gives the reason of every result but Shown.
ImageStepResult load_display_image(const char* path, int index, DisplayPicture& picture, FrameInfo& info,
                                   image_failure& failure);
ImageStepResult load_display_image(const char* path, int index, DisplayPicture& picture, FrameInfo& info);
// The size of a picture the frame is shown at.
struct PictureSize {
    int width = 0;
    int height = 0;
};

// The same from an image source that stays open: each frame after the first
// is decoded alone, without walking the header again. With `reduced_for`,
// decoded at the lowest resolution its codec offers that still covers the
// frame's place in a picture of that size (fit_view): a frame whose samples
// are fewer than its pixels (FrameImage::reduced).
ImageStepResult frame_picture(ImageSource& source, int index, DisplayPicture& picture, FrameInfo& info,
                              image_failure& failure, const PictureSize* reduced_for = nullptr);

// Frame `index` (0-based) of an image source as the display stages keep it:
// decoded once, rendered at any size and window from then on; reduced for
// a picture size as frame_picture's.
ImageStepResult frame_image(ImageSource& source, int index, FrameImage& image, FrameInfo& info,
                            image_failure& failure, const PictureSize* reduced_for = nullptr);

// The window of a freshly opened file: a picture of 32-bit samples in a file
// without a window of its own gets the window spanning the values of the
// frame shown; every other picture keeps the window the walk left.
void choose_open_window(const DisplayPicture& picture, const FrameInfo& info, bool file_sets_window,
                        ViewerState& state);
