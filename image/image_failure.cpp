#include "image_failure.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "reader/transfer_syntax.h"

namespace image_failures {

namespace {

image_failure make(image_failure_code code, std::string message) { return {code, std::move(message)}; }

std::string frames_text(int64_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

} // namespace

image_failure unreadable(int error)
{
    return make(image_failure_code::unreadable,
                std::string("The file cannot be read: ") + std::strerror(error) + ".");
}

image_failure unopened(const char* path)
{
    struct stat status {};
    if (::stat(path, &status) != 0) {
        return unreadable(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return unreadable(EISDIR);
    }
    const int descriptor = ::open(path, O_RDONLY);
    if (descriptor < 0) {
        return unreadable(errno);
    }
    ::close(descriptor);
    return data_set_broken();
}

image_failure no_pixel_data() { return make(image_failure_code::no_pixel_data, "The file holds no pixel data."); }

image_failure data_set_broken()
{
    return make(image_failure_code::data_set_broken, "The data set is broken before the pixel data.");
}

image_failure pixel_data_cut()
{
    return make(image_failure_code::frame_cut_off, "The pixel data runs past the end of the file.");
}

image_failure pixel_data_broken(std::string what)
{
    return make(image_failure_code::codestream_broken, std::move(what));
}

image_failure unsupported_syntax(const char* uid)
{
    return make(image_failure_code::unsupported_syntax, unsupported_transfer_syntax_message(uid) + ".");
}

image_failure frame_past_end(int64_t index, int64_t count)
{
    return make(image_failure_code::frame_past_end,
                "Frame " + std::to_string(index + 1) + " requested: the file holds " + frames_text(count) + ".");
}

image_failure frame_index_negative(int64_t index)
{
    return make(image_failure_code::frame_past_end,
                "Frame index " + std::to_string(index) + " refused: frames count from 0.");
}

image_failure frame_cut_off(int64_t index, int64_t last)
{
    const std::string end = last < 1 ? "before its first frame" : "in frame " + std::to_string(last);
    return make(image_failure_code::frame_cut_off, "Frame " + std::to_string(index + 1) +
                                                       " lies past the end of the file: the pixel data ends " +
                                                       end + ".");
}

image_failure codestream_broken(const char* codec, int64_t index)
{
    return make(image_failure_code::codestream_broken,
                std::string("The ") + codec + " codestream of frame " + std::to_string(index + 1) + " is broken.");
}

image_failure size_over_limit(int64_t frames, uint64_t bytes)
{
    return make(image_failure_code::size_refused,
                "The " + std::to_string(frames) + " frames take " + std::to_string(bytes) +
                    " bytes decoded, more than the 4 GiB a whole image may take; extract them one at a time");
}

image_failure size_past_data()
{
    return make(image_failure_code::size_refused, "Encapsulated PixelData too short for the announced frames");
}

image_failure size_not_whole_bytes()
{
    return make(image_failure_code::size_refused, "Frames of this image do not start on a byte boundary");
}

image_failure out_of_memory() { return make(image_failure_code::out_of_memory, "メモリ確保に失敗しました"); }

image_failure not_shown(const char* photometric)
{
    return make(image_failure_code::not_shown,
                std::string("Photometric interpretation ") + photometric + " is not shown.");
}

image_failure no_samples()
{
    return make(image_failure_code::no_samples, "The pixel data holds no samples the viewer reads.");
}

} // namespace image_failures
