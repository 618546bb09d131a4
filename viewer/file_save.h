// Writing a whole file so that a failure never leaves it half written
// unnoticed: used by the window's Save.
#pragma once

#include <string>

// Writes bytes to path. A regular or missing target is replaced through a
// temporary file beside it, renamed over it only when every write, the flush
// and the close succeeded (an existing target keeps its permissions, a new
// one gets those the umask gives). Where the folder allows no new file, or
// the target is not a regular file (a device, a link), the target itself is
// written, checking every write and the close. False on any failure; a
// temporary file is never left behind.
bool save_file(const std::string& path, const std::string& bytes);
