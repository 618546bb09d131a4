// The dicom_* operations on the calling thread's reader.
#include "reader/dicom_reader.h"

DicomReader& dicom_default_reader()
{
    thread_local DicomReader reader;
    return reader;
}

int dicom_open(const char* name) { return dicom_default_reader().open(name); }
ELEMENT* dicom_element() { return dicom_default_reader().element(); }
int dicom_load(int32_t hint) { return dicom_default_reader().load(hint); }
int dicom_skip() { return dicom_default_reader().skip(); }
void dicom_clean() { dicom_default_reader().clean(); }
int dicom_close() { return dicom_default_reader().close(); }
int64_t dicom_bytes_left() { return dicom_default_reader().bytes_left(); }
