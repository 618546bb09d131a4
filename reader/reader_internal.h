// The steps of the calling thread's reader under the names its decoders and
// tests know them by; each forwards to dicom_default_reader().
#pragma once

#include <cstdint>

#include "reader/dicom_reader.h"

void dicom_vr();
int dicom_vm();
void dicom_endian();
void dicom_load_endian();
void dicom_swap(void* number, int size);
int dicom_check_stream(int quiet);
void dicom_toggle_host_order();
void dicom_transfer();
void dicom_encapsulated(int reset);
void dicom_sequence(int reset);
