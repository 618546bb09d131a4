// The dicom_* operations on the calling thread's reader.
#include "reader/dicom_reader.h"
#include "reader/reader_internal.h"

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

void dicom_vr() { dicom_default_reader().vr(); }
int dicom_vm() { return dicom_default_reader().vm(); }
void dicom_endian() { dicom_default_reader().endian(); }
void dicom_load_endian() { dicom_default_reader().load_endian(); }
void dicom_swap(void* number, int size) { dicom_default_reader().swap(number, size); }
int dicom_check_stream(int quiet) { return dicom_default_reader().check_stream(quiet); }
void dicom_toggle_host_order() { dicom_default_reader().toggle_host_order(); }
void dicom_transfer() { dicom_default_reader().transfer(); }
void dicom_encapsulated(int reset) { dicom_default_reader().encapsulated(reset); }
void dicom_sequence(int reset) { dicom_default_reader().sequence(reset); }
