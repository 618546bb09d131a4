#include <cstdio>

#include "commands.h"

int cmd_report(int /*argc*/, char** /*argv*/)
{
    std::fprintf(stderr, "velmor-dump: 'report' is not built yet\n");
    return 2;
}
