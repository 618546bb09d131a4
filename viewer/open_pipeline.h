// What an Open does with a file, from the path to the picture, in one place
// for the window and velmor-dump picture: the file check, the header walk and
// the image source on the one opened file, then the picture of a frame with
// the window the file asks for. Qt-free.
#pragma once

#include <memory>
#include <string>

#include "image/single.h"
#include "viewer/display.h"
#include "viewer/header_walk.h"
#include "viewer/image_step.h"
#include "viewer/viewer_state.h"

class OpenedFile {
public:
    // Checks and walks the file: `state` keeps the window the last file left
    // unless the file sets its own. False when the check refused the file
    // (check() and error() say why); true with a listing otherwise.
    bool open(const char* path, ViewerState& state);

    FileCheck check() const { return check_; }
    int error() const { return error_; }
    const HeaderListing& listing() const { return listing_; }
    const std::string& path() const { return path_; }

    // The picture of frame `index` (0-based) through the source opened with
    // the walk; the first frame's call walks to the pixel data, later ones
    // decode their frame alone.
    // With `reduced_for`, at the reduced resolution that covers a picture of
    // that size (see frame_picture).
    ImageStepResult picture(int index, DisplayPicture& picture, FrameInfo& info, image_failure& failure,
                            const PictureSize* reduced_for = nullptr);
    // The same frame as the display stages keep it (see FrameImage): decoded
    // once, then rendered at any size, view and window. With `reduced_for`,
    // at the reduced resolution that covers a picture of that size.
    ImageStepResult frame(int index, FrameImage& image, FrameInfo& info, image_failure& failure,
                          const PictureSize* reduced_for = nullptr);

private:
    std::string path_;
    FileCheck check_ = FileCheck::cannot_open;
    int error_ = 0;
    HeaderListing listing_;
    std::unique_ptr<ImageSource> source_;
};

// The first picture of an Open: frame `index`, and the window the file asks
// for (see choose_open_window); `keep_window` stands for a window given
// from outside (velmor-dump picture --level/--width), which wins over the
// window spanning the values.
ImageStepResult open_picture(OpenedFile& file, int index, ViewerState& state, bool keep_window,
                             DisplayPicture& picture, FrameInfo& info, image_failure& failure,
                             const PictureSize* reduced_for = nullptr);
