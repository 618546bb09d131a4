// velmor-dump elements [-v] FILE: the reader's own walk, one line per element.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "viewer/messages.h"

namespace {

// A VR byte as itself when printable, otherwise as \xNN, so the line stays
// one valid line whatever the file holds.
void print_vr_byte(int byte)
{
    if (byte >= 0x20 && byte <= 0x7E) {
        std::putchar(byte);
    } else {
        std::printf("\\x%02X", static_cast<unsigned>(byte));
    }
}

void print_element(const ELEMENT& e)
{
    std::printf("%" PRId64 "\t(%04X,%04X)\t", e.offset, e.group, e.element);
    print_vr_byte((e.vr >> 8) & 0xFF);
    print_vr_byte(e.vr & 0xFF);
    std::printf("\t");
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
        const char* uid = dicom_default_reader().state().transfer_syntax != nullptr
                              ? dicom_default_reader().state().transfer_syntax[0]
                              : "";
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
            log_level = LogLevel::debug;
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
    const int opened = dicom_open(file);
    if (opened != 0) {
        // dicom_open: -4 the file cannot be opened, -5 shorter than 132 bytes.
        print_error_line(file, opened == -4 ? msg::cannot_open : msg::not_dicom);
        dicom_close();
        return 1;
    }
    while (const ELEMENT* e = dicom_element()) {
        print_element(*e);
        if (dicom_skip() != 0) {
            break;
        }
    }
    const int failure = dicom_default_reader().state().failure;
    dicom_close();
    return failure == 0 ? 0 : 1;
}
