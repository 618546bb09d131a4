// Libraries opened when first needed rather than linked: a library that
// brings many others costs every process start-up time, whether it is used
// or not. Opened once, kept for the life of the process.
#pragma once

#include <string>

// The library of that soname ("libavcodec.so.59"); null with `error` set.
void* open_run_time_library(const std::string& soname, std::string& error);

// Looks `name` up in `library` into `function`; false, with `error` set
// when it is still empty, when the library lacks it.
void* find_run_time_symbol(void* library, const char* name, std::string& error);

template <typename Function>
bool find_run_time_function(void* library, const char* name, Function& function, std::string& error)
{
    function = reinterpret_cast<Function>(find_run_time_symbol(library, name, error));
    return function != nullptr;
}
