// The images next to the one shown, opened and made into pictures on a
// background thread, so that a step through a series finds its image ready.
// Qt-free; at most the images last asked for are held.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "viewer/open_pipeline.h"

// One image of a set: a file and its frame (0-based).
using ImageKey = std::pair<std::string, int>;

// An image opened as an Open would open it: checked and walked from the state
// given, and the picture of its frame with the window the file asks for.
struct PreparedImage {
    ImageKey key;
    std::unique_ptr<OpenedFile> file = std::make_unique<OpenedFile>();
    bool walked = false; // false: the file check refused it (file->check() says why)
    ViewerState state;
    std::unique_ptr<DisplayPicture> picture = std::make_unique<DisplayPicture>();
    FrameInfo info;
    ImageStepResult result = ImageStepResult::OpenFailed;
    image_failure failure;
};

std::unique_ptr<PreparedImage> prepare_image(const ImageKey& key, const ViewerState& state);

class ReadAhead {
public:
    ReadAhead();
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The images to hold ready, the most wanted first, prepared from `state`.
    // Images held or queued that are not listed are dropped.
    void want(const std::vector<ImageKey>& images, const ViewerState& state);
    // The image, ready: taken from what is held, waited for when it is being
    // prepared, prepared here and now otherwise.
    std::unique_ptr<PreparedImage> take(const ImageKey& key, const ViewerState& state);
    // Images held ready (for tests and the bound on memory).
    std::size_t held() const;

private:
    void work();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ImageKey> wanted_;
    std::vector<ImageKey> queue_;
    std::optional<ImageKey> busy_;
    std::map<ImageKey, std::unique_ptr<PreparedImage>> ready_;
    ViewerState state_;
    bool stopping_ = false;
    std::jthread thread_; // last: joined before the rest goes
};
