// The PACS dialog's plain logic: a server's fields checked before it is
// kept, the query's dates as typed turned into DICOM dates, and the rows of
// the study tree as the dialog shows them. Qt-free.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pacs/server.h"

// What is wrong with a server as the form gives it, if anything.
enum class ServerProblem { none, no_name, duplicate_name, no_url, bad_url, no_host, bad_ae_title };

// `editing` is the index of the server the form edits in `servers`, or
// servers.size() for a new one (its name must then be unused).
ServerProblem check_server(const Server& server, const std::vector<Server>& servers, std::size_t editing);

// Whether the server's requests need a password (DICOMweb with a user). A
// DICOMweb server without a user may carry a bearer token instead.
bool needs_password(const Server& server);
// Puts the secret the store keeps for the server where it belongs: the
// password when it has a user, else the token (DIMSE servers have none).
void take_secret(Server& server, const std::string& secret);

// A date as typed: "", "20240315", "2024-03-15" or "2024/03/15". False when
// it is none of these or no such day; `date` is YYYYMMDD (empty for "").
bool query_date(std::string_view text, std::string& date);

// YYYYMMDD as YYYY-MM-DD; anything else as it came.
std::string shown_date(const std::string& date);
// A count the archive gave, or "" when it did not say (-1).
std::string shown_count(int count);
// "CT\MR" as "CT, MR".
std::string shown_modalities(const std::string& modalities);
// A person name's components ("DOE^JOHN") joined with spaces.
std::string shown_person_name(const std::string& name);
