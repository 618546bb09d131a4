#include "display_info.h"

#include <cstddef>

void init_gray_palette(DisplayInfo& info, bool inverted)
{
    for (int i = 0; i < 256; ++i) {
        const auto gray = static_cast<uint8_t>(inverted ? 255 - i : i);
        info.palette[static_cast<std::size_t>(i)] = {gray, gray, gray, 1};
    }
}
