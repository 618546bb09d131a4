// The storage service a C-MOVE sends to: Velmor listens on the move port,
// accepts the archive's associations and writes each instance it stores
// into the retrieve's folder. Runs on the calling thread until told to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pacs/instance_folder.h"
#include "pacs/server.h"

struct T_ASC_Network;
struct T_ASC_Association;

class DimseStoreService {
public:
    explicit DimseStoreService(const Server& server);
    ~DimseStoreService();
    DimseStoreService(const DimseStoreService&) = delete;
    DimseStoreService& operator=(const DimseStoreService&) = delete;

    // Opens the listening port (Server::move_port). False with `error` set.
    bool listen(std::string& error);
    // Receives instances until `stop` (asked about once a second and after
    // each instance) says so. `received` is told each kept file. False with
    // `error` set when an association failed or an instance could not be
    // kept; the instances kept before stay in `folder`.
    bool serve(InstanceFolder& folder, const std::function<bool()>& stop,
               const std::function<void(const std::string& path)>& received, std::string& error);

private:
    bool serve_association(T_ASC_Association* association, InstanceFolder& folder,
                           const std::function<bool()>& stop,
                           const std::function<void(const std::string& path)>& received, std::string& error);

    uint16_t port_;
    int timeout_;
    T_ASC_Network* network_ = nullptr;
};
