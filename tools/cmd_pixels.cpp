#include <cstdio>

#include "commands.h"

int cmd_pixels(int /*argc*/, char** /*argv*/)
{
    std::fprintf(stderr, "velmor-dump: 'pixels' is not built yet\n");
    return 2;
}
