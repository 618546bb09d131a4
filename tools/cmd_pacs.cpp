// velmor-dump echo, query, retrieve and send: the archive operations on the
// command line. SERVER is a configured server's name or an address.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "pacs/archive.h"
#include "pacs/instance_folder.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#ifdef VELMOR_SERVER_SETTINGS
#include "viewer/server_settings.h"
#endif

namespace {

std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) { interrupted = true; }

// Ctrl+C (or SIGTERM) cancels a running operation, which then cleans up.
void cancel_on_interrupt()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::string ask_secret(const std::string& prompt)
{
    if (!isatty(STDIN_FILENO)) return {};
    std::fprintf(stderr, "%s", prompt.c_str());
    termios saved{};
    const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    if (quiet) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fprintf(stderr, "\n");
    std::string secret = read ? line : "";
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r'))
        secret.pop_back();
    return secret;
}

const char* env(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0] ? value : nullptr;
}

// The options every command takes, taken out of the arguments.
struct CommonOptions {
    int timeout = 0;
    int move_port = -1;
    bool move = false;
    bool self_signed = false;
    std::string calling_ae;
};

bool take_common_option(int argc, char** argv, int& i, CommonOptions& options, bool& bad)
{
    const char* arg = argv[i];
    auto number = [&](int& out, int most) {
        if (i + 1 >= argc) {
            bad = true;
            return;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[++i], &end, 10);
        if (*end != '\0' || value <= 0 || value > most) bad = true;
        out = static_cast<int>(value);
    };
    if (std::strcmp(arg, "--timeout") == 0)
        number(options.timeout, 86400);
    else if (std::strcmp(arg, "--move-port") == 0)
        number(options.move_port, 65535);
    else if (std::strcmp(arg, "--move") == 0)
        options.move = true;
    else if (std::strcmp(arg, "--self-signed") == 0)
        options.self_signed = true;
    else if (std::strcmp(arg, "--calling-ae") == 0 && i + 1 < argc)
        options.calling_ae = argv[++i];
    else
        return false;
    return true;
}

// The server SERVER names, with the options and the credentials from the
// environment or the terminal; false after printing why not.
bool resolve_server(const std::string& name, const CommonOptions& options, Server& server)
{
    std::string error;
#ifdef VELMOR_SERVER_SETTINGS
    const std::vector<Server> configured = load_servers();
    if (const Server* found = find_server(configured, name))
        server = *found;
    else
#endif
        if (!server_from_address(name, server, error)) {
        print_error_line(name.c_str(), ("no configured server of that name, and " + error).c_str());
        return false;
    }
    if (options.timeout > 0) server.timeout_seconds = options.timeout;
    if (options.move_port > 0) server.move_port = static_cast<uint16_t>(options.move_port);
    if (options.move) server.prefer_move = true;
    if (options.self_signed) server.allow_self_signed = true;
    if (!options.calling_ae.empty()) server.calling_ae = options.calling_ae;
    if (server.protocol == ServerProtocol::dicomweb) {
        if (const char* user = env("VELMOR_PACS_USER")) server.user = user;
        if (const char* password = env("VELMOR_PACS_PASSWORD")) server.password = password;
        if (const char* token = env("VELMOR_PACS_TOKEN")) server.token = token;
        if (!server.user.empty() && server.password.empty() && server.token.empty())
            server.password = ask_secret("Password for " + server.user + " at " + server_label(server) + ": ");
    }
    return true;
}

// The message names the server and what failed.
int fail(const ArchiveResult& result)
{
    std::fprintf(stderr, "velmor-dump: %s\n", result.message.c_str());
    return 1;
}

// Splits "A-B", "A-", "-B" or "A" into the query's date range.
bool read_date_range(const std::string& range, StudyQuery& query)
{
    const auto dash = range.find('-');
    query.date_from = range.substr(0, dash);
    query.date_to = dash == std::string::npos ? query.date_from : range.substr(dash + 1);
    auto valid = [](const std::string& date) {
        return date.empty() || (date.size() == 8 && date.find_first_not_of("0123456789") == std::string::npos);
    };
    return valid(query.date_from) && valid(query.date_to) && !(query.date_from.empty() && query.date_to.empty());
}

std::string count_text(int count) { return count < 0 ? "-" : std::to_string(count); }

// The arguments that are no common option, in order; `bad` when one is an
// option these commands do not know, or a common option lacks its value.
std::vector<std::string> plain_arguments(int argc, char** argv, CommonOptions& options, bool& bad)
{
    std::vector<std::string> words;
    for (int i = 0; i < argc && !bad; ++i) {
        if (take_common_option(argc, argv, i, options, bad)) continue;
        if (argv[i][0] == '-') bad = true;
        words.emplace_back(argv[i]);
    }
    return words;
}

} // namespace

int cmd_echo(int argc, char** argv)
{
    CommonOptions options;
    bool bad = false;
    const std::vector<std::string> names = plain_arguments(argc, argv, options, bad);
    if (bad || names.size() != 1) {
        std::fprintf(stderr, "usage: velmor-dump echo SERVER\n");
        return 2;
    }
    Server server;
    if (!resolve_server(names[0], options, server)) return 1;
    const ArchiveResult result = open_archive(server)->echo();
    if (!result.ok) return fail(result);
    std::printf("%s: ok\n", server_label(server).c_str());
    return 0;
}

int cmd_query(int argc, char** argv)
{
    CommonOptions options;
    StudyQuery query;
    std::string study_uid;
    bool bad = false;
    std::vector<std::string> names;
    for (int i = 0; i < argc && !bad; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (take_common_option(argc, argv, i, options, bad)) continue;
        if (arg == "--patient" && has_value)
            query.patient_name = argv[++i];
        else if (arg == "--id" && has_value)
            query.patient_id = argv[++i];
        else if (arg == "--date" && has_value)
            bad = !read_date_range(argv[++i], query);
        else if (arg == "--modality" && has_value)
            query.modality = argv[++i];
        else if (arg == "--accession" && has_value)
            query.accession_number = argv[++i];
        else if (arg == "--series" && has_value)
            study_uid = argv[++i];
        else if (arg[0] == '-')
            bad = true;
        else
            names.push_back(arg);
    }
    if (bad || names.size() != 1 || (!study_uid.empty() && !is_valid_uid(study_uid))) {
        std::fprintf(stderr, "usage: velmor-dump query SERVER [--patient P] [--id ID] [--date A-B] [--modality M] "
                             "[--accession A] [--series STUDY_UID]\n");
        return 2;
    }
    Server server;
    if (!resolve_server(names[0], options, server)) return 1;
    auto archive = open_archive(server);
    if (!study_uid.empty()) {
        std::vector<SeriesRow> rows;
        const ArchiveResult result = archive->query_series(study_uid, rows);
        if (!result.ok) return fail(result);
        for (const SeriesRow& r : rows)
            std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", r.study_uid.c_str(), r.series_uid.c_str(), r.number.c_str(),
                        r.modality.c_str(), r.description.c_str(), count_text(r.instance_count).c_str());
        return 0;
    }
    std::vector<StudyRow> rows;
    const ArchiveResult result = archive->query_studies(query, rows);
    if (!result.ok) return fail(result);
    for (const StudyRow& r : rows)
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", r.patient_id.c_str(), r.patient_name.c_str(),
                    r.study_uid.c_str(), r.date.c_str(), r.modalities.c_str(), r.accession_number.c_str(),
                    r.description.c_str(), count_text(r.series_count).c_str(),
                    count_text(r.instance_count).c_str());
    return 0;
}

int cmd_retrieve(int argc, char** argv)
{
    CommonOptions options;
    bool bad = false;
    const std::vector<std::string> words = plain_arguments(argc, argv, options, bad);
    if (bad || words.size() < 3 || words.size() > 4 || !is_valid_uid(words[1]) ||
        (words.size() == 4 && !is_valid_uid(words[2]))) {
        std::fprintf(stderr, "usage: velmor-dump retrieve SERVER STUDY_UID [SERIES_UID] DIR\n");
        return 2;
    }
    Server server;
    if (!resolve_server(words[0], options, server)) return 1;
    const std::string series_uid = words.size() == 4 ? words[2] : std::string();
    RetrieveTarget target;
    target.folder = words.back();
    std::error_code made;
    std::filesystem::create_directories(target.folder, made);
    if (made) {
        print_error_line(target.folder.c_str(), ("cannot make the folder: " + made.message()).c_str());
        return 1;
    }
    target.cancel = &interrupted;
    int arrived_count = 0;
    target.arrived = [&arrived_count](const std::string& path, int arrived, int) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        arrived_count = arrived;
    };
    cancel_on_interrupt();
    const ArchiveResult result = open_archive(server)->retrieve(words[1], series_uid, target);
    if (!result.ok) return fail(result);
    std::fprintf(stderr, "%d instances retrieved into %s\n", arrived_count, target.folder.c_str());
    return 0;
}

int cmd_send(int argc, char** argv)
{
    CommonOptions options;
    bool bad = false;
    const std::vector<std::string> words = plain_arguments(argc, argv, options, bad);
    if (bad || words.size() < 2) {
        std::fprintf(stderr, "usage: velmor-dump send SERVER FILE...\n");
        return 2;
    }
    Server server;
    if (!resolve_server(words[0], options, server)) return 1;
    const std::vector<std::string> files(words.begin() + 1, words.end());
    const ArchiveResult result = open_archive(server)->send(files);
    if (!result.ok) return fail(result);
    std::fprintf(stderr, "%zu files sent to %s\n", files.size(), server_label(server).c_str());
    return 0;
}
