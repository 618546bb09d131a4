// The whole-resolution decode of a frame first shown at a reduced
// resolution, on a thread of its own: the window shows the reduced picture
// at once and takes the whole frame when it is ready (or waits for it when
// a view needs more samples than the reduced frame holds). Qt-free.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "image/image_failure.h"
#include "viewer/frame_image.h"

class FullFrame {
public:
    // Starts decoding frame `index` (0-based) of the file `path` through an
    // image source of its own. `ready` is called on the decoding thread once
    // the frame is decoded or failed.
    FullFrame(std::string path, int index, std::function<void()> ready = {});
    // Waits for the decode to end.
    ~FullFrame();
    FullFrame(const FullFrame&) = delete;
    FullFrame& operator=(const FullFrame&) = delete;

    int index() const { return index_; }
    bool done() const;
    // The frame, waited for while it is decoded; nothing when it failed
    // (failure() says why) or was taken already.
    std::optional<FrameImage> take();
    image_failure failure() const;

private:
    void decode(const std::string& path);

    const int index_;
    std::function<void()> ready_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::optional<FrameImage> frame_;
    image_failure failure_;
    std::jthread thread_; // last: joined before the rest goes
};
