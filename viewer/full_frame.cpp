#include "viewer/full_frame.h"

#include <utility>

#include "image/single.h"
#include "viewer/image_step.h"

FullFrame::FullFrame(std::string path, int index, std::function<void()> ready)
    : index_(index), ready_(std::move(ready)), thread_([this, path = std::move(path)] { decode(path); })
{
}

FullFrame::~FullFrame() = default;

void FullFrame::decode(const std::string& path)
{
    FrameImage image;
    FrameInfo info;
    image_failure failure;
    ImageSource source;
    failure = source.open(path);
    bool decoded = false;
    if (!failure) {
        decoded = frame_image(source, index_, image, info, failure) == ImageStepResult::Shown;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (decoded) {
            frame_ = std::move(image);
        }
        failure_ = std::move(failure);
        done_ = true;
    }
    finished_.notify_all();
    if (ready_) {
        ready_();
    }
}

bool FullFrame::done() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

std::optional<FrameImage> FullFrame::take()
{
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return done_; });
    return std::exchange(frame_, std::nullopt);
}

image_failure FullFrame::failure() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}
