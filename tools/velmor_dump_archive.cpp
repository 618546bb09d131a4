// velmor-dump-archive COMMAND ARGS...: velmor-dump's archive commands (echo,
// query, retrieve, send), which velmor-dump runs here; see velmor-dump --help.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

int main(int argc, char** argv)
{
    constexpr struct {
        const char* name;
        int (*run)(int argc, char** argv);
    } commands[] = {{"echo", cmd_echo}, {"query", cmd_query}, {"retrieve", cmd_retrieve}, {"send", cmd_send}};
    if (argc >= 2) {
        for (const auto& command : commands) {
            if (std::strcmp(argv[1], command.name) == 0) {
                return command.run(argc - 2, argv + 2);
            }
        }
    }
    std::fprintf(stderr, "usage: velmor-dump echo|query|retrieve|send ... (see velmor-dump --help)\n");
    return 2;
}
