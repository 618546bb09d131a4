#include "export/model_output.h"

#include "export/values.h"

void ModelOutput::append_base64(std::string_view bytes)
{
    constexpr std::size_t piece = 3 << 18; // 768 KiB, whole Base64 groups
    while (bytes.size() > piece) {
        ::append_base64(text_, bytes.substr(0, piece));
        bytes.remove_prefix(piece);
        flush_if_large();
    }
    ::append_base64(text_, bytes);
}
