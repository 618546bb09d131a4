#include "jpeg/dct.h"

#include "reader/log.h"

int32_t DctJpegDecode(const uint8_t* /*data*/, std::size_t /*size*/, uint8_t* /*output*/,
                      std::size_t /*output_size*/)
{
    dicom_log(LOG_ERROR, "DctJpegDecode(): Not available.");
    return -1;
}
