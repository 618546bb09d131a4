#include "viewer/read_ahead.h"

#include <algorithm>

std::unique_ptr<PreparedImage> prepare_image(const ImageKey& key, const ViewerState& state)
{
    auto prepared = std::make_unique<PreparedImage>();
    prepared->key = key;
    prepared->state = state;
    prepared->walked = prepared->file->open(key.first.c_str(), prepared->state);
    if (prepared->walked) {
        prepared->result = open_picture(*prepared->file, key.second, prepared->state, false, *prepared->picture,
                                        prepared->info, prepared->failure);
    }
    return prepared;
}

ReadAhead::ReadAhead() : thread_([this] { work(); }) {}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReadAhead::want(const std::vector<ImageKey>& images, const ViewerState& state)
{
    const std::lock_guard lock(mutex_);
    wanted_ = images;
    state_ = state;
    const auto is_wanted = [&](const ImageKey& key) {
        return std::find(wanted_.begin(), wanted_.end(), key) != wanted_.end();
    };
    std::erase_if(ready_, [&](const auto& entry) { return !is_wanted(entry.first); });
    queue_.clear();
    for (const ImageKey& key : wanted_) {
        if (!ready_.contains(key) && busy_ != key) {
            queue_.push_back(key);
        }
    }
    changed_.notify_all();
}

std::unique_ptr<PreparedImage> ReadAhead::take(const ImageKey& key, const ViewerState& state)
{
    {
        std::unique_lock lock(mutex_);
        if (busy_ == key) {
            // Kept when it is done, even if no longer wanted.
            wanted_.push_back(key);
            changed_.wait(lock, [&] { return busy_ != key; });
        }
        std::erase(queue_, key);
        if (const auto found = ready_.find(key); found != ready_.end()) {
            std::unique_ptr<PreparedImage> prepared = std::move(found->second);
            ready_.erase(found);
            return prepared;
        }
    }
    return prepare_image(key, state);
}

std::size_t ReadAhead::held() const
{
    const std::lock_guard lock(mutex_);
    return ready_.size();
}

void ReadAhead::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        const ImageKey key = queue_.front();
        queue_.erase(queue_.begin());
        busy_ = key;
        const ViewerState state = state_;
        lock.unlock();
        std::unique_ptr<PreparedImage> prepared = prepare_image(key, state);
        lock.lock();
        if (std::find(wanted_.begin(), wanted_.end(), key) != wanted_.end()) {
            ready_[key] = std::move(prepared);
        }
        busy_.reset();
        changed_.notify_all();
    }
}
