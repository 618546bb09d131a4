#include <cstdio>

#include "commands.h"

int cmd_elements(int /*argc*/, char** /*argv*/)
{
    std::fprintf(stderr, "velmor-dump: 'elements' is not built yet\n");
    return 2;
}
