#include <cstdio>

#include "commands.h"

int cmd_picture(int /*argc*/, char** /*argv*/)
{
    std::fprintf(stderr, "velmor-dump: 'picture' is not built yet\n");
    return 2;
}
