// The codec of each compressed transfer syntax.
#include "image/codec.h"

const frame_codec* codec_for_transfer_syntax(const char* /*uid*/) { return nullptr; }
