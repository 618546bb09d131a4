// TEMPORARY stand-in for the parts of the element stream reader that the RLE
// frame decoder calls, until the reader library is built. Removed then.
#include "reader/dicom.h"
#include "reader/log.h"

#include <utility>

DicomReaderState dicom_state{};

int dicom_open(const char* name)
{
    if (dicom_state.reader_stream == nullptr) {
        dicom_state.reader_stream = std::fopen(name, "rb");
        if (dicom_state.reader_stream == nullptr) {
            return -4;
        }
    }
    std::fseek(dicom_state.reader_stream, 0, SEEK_END);
    dicom_state.file_size = std::ftell(dicom_state.reader_stream);
    std::rewind(dicom_state.reader_stream);
    dicom_state.syntax = SYNTAX_LITTLE | SYNTAX_EXPLICIT;
    dicom_state.host_order = 1;
    return 0;
}

int dicom_close()
{
    if (dicom_state.reader_stream != nullptr) {
        std::fclose(dicom_state.reader_stream);
        dicom_state.reader_stream = nullptr;
    }
    return 0;
}

void dicom_swap(void* number, int size)
{
    if ((dicom_state.syntax & dicom_state.host_order) != 0) {
        return;
    }
    auto* bytes = static_cast<unsigned char*>(number);
    for (int i = 0; i < size / 2; ++i) {
        std::swap(bytes[i], bytes[size - 1 - i]);
    }
}

int dicom_check_stream(int quiet)
{
    std::FILE* stream = dicom_state.reader_stream;
    if (std::ferror(stream) != 0) {
        dicom_log(LOG_ERROR, "Error while reading file");
        dicom_close();
        return -1;
    }
    if (std::feof(stream) != 0) {
        if (quiet == 0) {
            dicom_log(LOG_ERROR, "Unexpected end of file");
        }
        dicom_close();
        return -2;
    }
    return 0;
}

int64_t dicom_bytes_left()
{
    if (dicom_state.reader_stream == nullptr) {
        return 0;
    }
    return dicom_state.file_size - std::ftell(dicom_state.reader_stream);
}
