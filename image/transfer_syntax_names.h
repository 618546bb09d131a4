// Names of the DICOM transfer syntaxes, for messages about a file's encoding.
#pragma once

#include <string>

// The registered name of a transfer syntax UID (trailing spaces and NULs of
// the stored value ignored), or null for a UID not in the registry.
const char* transfer_syntax_name(const char* uid);

// "Unsupported transfer syntax UID NAME-IN-PARENTHESES" for a registered UID,
// or "Unsupported transfer syntax UID" alone for any other.
std::string unsupported_transfer_syntax_message(const char* uid);
