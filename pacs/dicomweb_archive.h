// The archive operations over DICOMweb (QIDO-RS, WADO-RS, STOW-RS).
#pragma once

#include <memory>

#include "pacs/archive.h"

std::unique_ptr<Archive> make_dicomweb_archive(const Server& server);
