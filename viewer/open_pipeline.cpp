#include "viewer/open_pipeline.h"

bool OpenedFile::open(const char* path, ViewerState& state)
{
    path_ = path;
    source_.reset();
    bool inflated_view = false;
    std::FILE* file = check_dicom_file(path, check_, error_, inflated_view);
    if (file == nullptr) {
        return false;
    }
    walk_header(file, listing_, state);
    // The image source reads the same opened file (or inflated view) from
    // its first byte: the file is opened, and a deflated one inflated, once.
    source_ = std::make_unique<ImageSource>();
    source_->open(file, inflated_view, path_);
    return true;
}

ImageStepResult OpenedFile::picture(int index, DisplayPicture& picture, FrameInfo& info, image_failure& failure,
                                    const PictureSize* reduced_for)
{
    if (!source_) {
        failure = image_failures::unopened(path_.c_str());
        return ImageStepResult::OpenFailed;
    }
    return frame_picture(*source_, index, picture, info, failure, reduced_for);
}

ImageStepResult OpenedFile::frame(int index, FrameImage& image, FrameInfo& info, image_failure& failure,
                                  const PictureSize* reduced_for)
{
    if (!source_) {
        failure = image_failures::unopened(path_.c_str());
        return ImageStepResult::OpenFailed;
    }
    return frame_image(*source_, index, image, info, failure, reduced_for);
}

ImageStepResult open_picture(OpenedFile& file, int index, ViewerState& state, bool keep_window,
                             DisplayPicture& picture, FrameInfo& info, image_failure& failure,
                             const PictureSize* reduced_for)
{
    const ImageStepResult result = file.picture(index, picture, info, failure, reduced_for);
    if (result == ImageStepResult::Shown) {
        choose_open_window(picture, info, keep_window || state.file_sets_window, state);
    }
    return result;
}
