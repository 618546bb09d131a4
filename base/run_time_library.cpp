#include "base/run_time_library.h"

#include <dlfcn.h>

void* open_run_time_library(const std::string& soname, std::string& error)
{
    void* library = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = soname + " cannot be loaded (" + (why != nullptr ? why : "not found") + ")";
    }
    return library;
}

void* find_run_time_symbol(void* library, const char* name, std::string& error)
{
    void* symbol = library != nullptr ? dlsym(library, name) : nullptr;
    if (symbol == nullptr && error.empty()) {
        error = std::string("The library lacks ") + name;
    }
    return symbol;
}
