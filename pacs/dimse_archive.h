// The archive operations over DIMSE (C-ECHO, C-FIND, C-GET, C-MOVE, C-STORE).
#pragma once

#include <memory>

#include "pacs/archive.h"

std::unique_ptr<Archive> make_dimse_archive(const Server& server);
