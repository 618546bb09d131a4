// Runs velmor-dump subcommands over many files in one process, for the
// broken-file sweep: a sanitizer build pays its start-up once instead of once
// per run. Reads jobs from standard input, one "COMMAND<TAB>FILE" a line, and
// runs each as `velmor-dump COMMAND FILE` would, with standard output thrown
// away and standard error caught. For each job it writes one line to its
// standard output:
//   "begin N" before the job (so that a caller knows which job a sanitizer
//   abort ended), then "ok N" or "fail N REASON".
// A job that runs longer than the time cap given as the first argument ends
// the process with "timeout N" and exit status 3.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/commands.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define VELMOR_SANITIZER_REPORTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/common_interface_defs.h>
#define VELMOR_SANITIZER_REPORTS 1
#endif
#endif

namespace {

int report_fd = -1;                 // the real standard output
volatile std::sig_atomic_t job = 0; // the job under way, for the alarm

void write_all(int fd, const char* text, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, text, size);
        if (n <= 0) {
            return;
        }
        text += n;
        size -= static_cast<std::size_t>(n);
    }
}

void report(const std::string& line)
{
    const std::string text = line + "\n";
    write_all(report_fd, text.data(), text.size());
}

extern "C" void on_alarm(int /*signal*/)
{
    char text[48];
    const int n = std::snprintf(text, sizeof text, "timeout %d\n", static_cast<int>(job));
    write_all(report_fd, text, n > 0 ? static_cast<std::size_t>(n) : 0);
    ::_exit(3);
}

int run_command(const std::string& command, std::string file)
{
    std::vector<char*> argv = {file.data()};
    if (command == "report") {
        return cmd_report(1, argv.data());
    }
    if (command == "elements") {
        return cmd_elements(1, argv.data());
    }
    if (command == "pixels") {
        return cmd_pixels(1, argv.data());
    }
    if (command == "json") {
        // Pixel Data and every value inline, so that all of the file is decoded.
        std::string pixel_data = "--pixel-data";
        std::string threshold[2] = {"--bulk-threshold", "1099511627776"};
        std::vector<char*> args = {pixel_data.data(), threshold[0].data(), threshold[1].data(), file.data()};
        return cmd_json(4, args.data());
    }
    if (command == "xml") {
        return cmd_xml(1, argv.data());
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    const unsigned cap = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 20U;
    report_fd = ::dup(STDOUT_FILENO);
#ifdef VELMOR_SANITIZER_REPORTS
    // Sanitizer reports go to the real standard error, not the caught one.
    static const int sanitizer_fd = ::dup(STDERR_FILENO);
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(sanitizer_fd)));
#endif
    const int null_fd = ::open("/dev/null", O_WRONLY);
    const int error_fd = ::memfd_create("sweep-stderr", 0);
    if (report_fd < 0 || null_fd < 0 || error_fd < 0 || ::dup2(null_fd, STDOUT_FILENO) < 0 ||
        ::dup2(error_fd, STDERR_FILENO) < 0) {
        std::perror("sweep_runner");
        return 2;
    }
    std::signal(SIGALRM, on_alarm);

    std::string line;
    for (int n = 0; std::getline(std::cin, line); ++n) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            report("fail " + std::to_string(n) + " bad job line");
            continue;
        }
        job = n;
        report("begin " + std::to_string(n));
        ::ftruncate(STDERR_FILENO, 0);
        ::lseek(STDERR_FILENO, 0, SEEK_SET);
        ::alarm(cap);
        const int status = run_command(line.substr(0, tab), line.substr(tab + 1));
        ::alarm(0);
        std::fflush(stdout);
        std::fflush(stderr);
        const bool said_something = ::lseek(STDERR_FILENO, 0, SEEK_END) > 0;
        if (status < 0 || status > 2) {
            report("fail " + std::to_string(n) + " exit status " + std::to_string(status));
        } else if (status != 0 && !said_something) {
            report("fail " + std::to_string(n) + " failed (status " + std::to_string(status) +
                   ") without a message");
        } else {
            report("ok " + std::to_string(n));
        }
    }
    return 0;
}
