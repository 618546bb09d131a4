// The configured archives, kept in the user's settings (QSettings, group
// "servers"): everything but passwords and tokens, which the desktop's secret
// store keeps when there is one, or which are asked for each time.
#pragma once

#include <QString>
#include <vector>

#include "pacs/server.h"

// The settings file: organisation and application "velmor"
// ($XDG_CONFIG_HOME/velmor/velmor.conf).
std::vector<Server> load_servers();
void save_servers(const std::vector<Server>& servers);

// The configured server of that name, or null.
const Server* find_server(const std::vector<Server>& servers, const std::string& name);
