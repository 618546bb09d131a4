#include "pacs/archive.h"

#include "pacs/dicomweb_archive.h"
#include "pacs/dimse_archive.h"

std::unique_ptr<Archive> open_archive(const Server& server)
{
    if (server.protocol == ServerProtocol::dimse) return make_dimse_archive(server);
    return make_dicomweb_archive(server);
}
