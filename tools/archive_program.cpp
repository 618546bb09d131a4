// velmor-dump's archive commands run in a program of their own: the network
// libraries (libcurl, DCMTK's, Qt Core for the configured servers) would
// otherwise be loaded by every velmor-dump run, adding some 9 ms to each
// report or picture. velmor-dump hands these commands to it with exec.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/commands.h"

namespace {

// The folder velmor-dump runs from.
std::string own_folder()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    std::string folder(path, static_cast<std::size_t>(length));
    return folder.substr(0, folder.rfind('/'));
}

int run_archive_program(const char* command, int argc, char** argv)
{
    const std::string folder = own_folder();
    // Beside velmor-dump in the build tree; installed, under libexec.
    for (const std::string& program :
         {folder + "/velmor-dump-archive", folder + "/../" VELMOR_LIBEXEC_DIR "/velmor/velmor-dump-archive"}) {
        if (access(program.c_str(), X_OK) != 0) {
            continue;
        }
        std::string name = "velmor-dump-archive";
        std::string word = command;
        std::vector<char*> arguments{name.data(), word.data()};
        arguments.insert(arguments.end(), argv, argv + argc);
        arguments.push_back(nullptr);
        execv(program.c_str(), arguments.data());
        std::fprintf(stderr, "velmor-dump: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "velmor-dump: %s: the archive commands are not installed (velmor-dump-archive)\n",
                 command);
    return 1;
}

} // namespace

int run_echo(int argc, char** argv) { return run_archive_program("echo", argc, argv); }
int run_query(int argc, char** argv) { return run_archive_program("query", argc, argv); }
int run_retrieve(int argc, char** argv) { return run_archive_program("retrieve", argc, argv); }
int run_send(int argc, char** argv) { return run_archive_program("send", argc, argv); }
