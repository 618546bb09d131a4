// velmor-dump elements [-v] FILE: the reader's own walk, one line per element.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "reader/dicom.h"
#include "reader/log.h"

namespace {

void print_element(const ELEMENT& e)
{
    std::printf("%d\t(%04X,%04X)\t%c%c\t", e.offset, e.group, e.element, static_cast<char>((e.vr >> 8) & 0xFF),
                static_cast<char>(e.vr & 0xFF));
    if (e.length == UNDEFINED_LENGTH) {
        std::printf("undefined");
    } else {
        std::printf("%u", e.length);
    }
    std::printf("\t%u\t", static_cast<unsigned>(e.sq_depth));
    if (e.sq_depth > 0) {
        std::printf("(%04X,%04X)", e.sq_group, e.sq_element);
    } else {
        std::printf("-");
    }
    std::printf("\t%d", e.encapsulated);
    // The Transfer Syntax UID as the reader took it, as one more field.
    if (e.group == 0x0002 && e.element == 0x0010) {
        const char* uid = dicom_state.transfer_syntax != nullptr ? dicom_state.transfer_syntax[0] : "";
        std::printf("\t%s", uid);
    }
    std::printf("\n");
}

} // namespace

int cmd_elements(int argc, char** argv)
{
    const char* file = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0) {
            log_level = LOG_DEBUG;
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            file = nullptr;
            break;
        }
    }
    if (file == nullptr) {
        std::fprintf(stderr, "usage: velmor-dump elements [-v] FILE\n");
        return 2;
    }
    if (dicom_open(file) != 0) {
        return 1;
    }
    while (const ELEMENT* e = dicom_element()) {
        print_element(*e);
        if (dicom_skip() != 0) {
            break;
        }
    }
    const int failure = dicom_state.failure;
    dicom_close();
    return failure == 0 ? 0 : 1;
}
