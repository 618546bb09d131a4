// The storage side of a retrieve: what Velmor offers to receive, and one
// received C-STORE written as a DICOM file (with its file meta group) into
// the retrieve's folder.
// Used by C-GET (the sub-operations come on the C-GET's association) and by
// the storage service a C-MOVE sends to.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "pacs/dimse_association.h"
#include "pacs/instance_folder.h"

struct T_DIMSE_C_StoreRQ;

// The transfer syntaxes Velmor takes instances in, uncompressed first.
std::vector<std::string> dimse_storage_transfer_syntaxes();
// Storage contexts with Velmor in the SCP role, for the common storage SOP
// classes uncompressed and the common image classes compressed (at most
// `most` of them).
std::vector<DimseContext> dimse_storage_contexts(std::size_t most);

// Receives the data set of a C-STORE request whose command has been read,
// writes it (the file meta group made here) to a temporary file in
// `folder`, keeps it under the request's SOP Instance UID and answers the
// request. `path` is the kept file, empty when the instance was refused
// (answered with a failure status, `error` saying why). False when the
// association failed, with `error` set.
bool dimse_receive_instance(T_ASC_Association* association, unsigned char context,
                            const T_DIMSE_C_StoreRQ& request, int timeout_seconds, InstanceFolder& folder,
                            std::string& path, std::string& error);
