// A retrieve over DIMSE: C-GET (the instances come back on the same
// association) or C-MOVE (the archive sends them to Velmor's storage
// service on the move port). Either writes into `folder` and tells
// `target.arrived` of each file; the caller keeps or discards the folder.
#pragma once

#include <string>

#include "pacs/archive.h"
#include "pacs/instance_folder.h"

enum class DimseRetrieveOutcome {
    done,
    failed,
    cancelled,
    lacks_get, // the archive refused C-GET before sending anything: try C-MOVE
};

DimseRetrieveOutcome dimse_get(const Server& server, const std::string& study_uid, const std::string& series_uid,
                               const RetrieveTarget& target, InstanceFolder& folder, std::string& error);
DimseRetrieveOutcome dimse_move(const Server& server, const std::string& study_uid, const std::string& series_uid,
                                const RetrieveTarget& target, InstanceFolder& folder, std::string& error);
