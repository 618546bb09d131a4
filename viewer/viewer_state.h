// The viewer's process-wide state: the walk's row counter, the display
// parameters that the header sets, and the header size.
#pragma once

#include <cstdint>

#include "reader/written_vr.h"
#include "text_scopes.h"

struct ViewerState {
    int32_t next_row = 1;          // grid row the next element fills
    int32_t window_level = 50;     // kept from file to file and by drags
    int32_t window_width = 1024;   // kept from file to file and by drags
    int32_t rescale_intercept = 0; // reset at every Open
    int64_t header_size = 0;       // file position reached at (7FE0,0010)
    bool image_shown = false;      // a rendered image may be windowed
    bool dragging = false;         // a window drag is under way
    TextScopes text;               // character sets by nesting level, per walk
    // The walk's (0002,0010) named explicit VR big endian.
    bool big_endian_data_set = false;
    // How the walk's (0002,0010) says the data set is written (unknown: no
    // syntax, or one that does not say).
    WrittenVr declared_vr = WrittenVr::unknown;
    // The data set's first header has no VR letters though its syntax says
    // it has: every header after the meta group is read implicit.
    bool data_set_read_implicit = false;
    // The walk met a Window Center or Window Width (0028,1050/1051).
    bool file_sets_window = false;
};
