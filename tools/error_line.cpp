#include "tools/error_line.h"

#include <cstdio>

void print_error_line(const char* file, const char* message)
{
    std::fprintf(stderr, "velmor-dump: %s: %s\n", file, message);
}

void print_error_line(const char* file, const char* message, const char* detail)
{
    std::fprintf(stderr, "velmor-dump: %s: %s (%s)\n", file, message, detail);
}
