// velmor-dump json|xml [--pretty] [--bulk-threshold N] [--pixel-data] FILE:
// the file's data set in the JSON model or the native XML model.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "export/data_set.h"
#include "export/json_writer.h"
#include "export/values.h"
#include "export/xml_writer.h"
#include "tools/commands.h"
#include "tools/error_line.h"

namespace {

enum class Model { json, xml };

struct Arguments {
    const char* file = nullptr;
    ReadOptions read;
    ModelOptions model;
};

bool parse_count(const char* text, uint64_t& count)
{
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0) {
        return false;
    }
    count = value;
    return true;
}

bool parse(int argc, char** argv, Model model, Arguments& args)
{
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--pretty") == 0 && model == Model::json) {
            args.model.pretty = true;
        } else if (std::strcmp(arg, "--pixel-data") == 0) {
            args.read.pixel_data = true;
        } else if (std::strcmp(arg, "--bulk-threshold") == 0) {
            if (!parse_count(i + 1 < argc ? argv[++i] : nullptr, args.read.bulk_threshold)) {
                return false;
            }
        } else if (args.file == nullptr && (arg[0] != '-' || arg[1] == '\0')) {
            args.file = arg;
        } else {
            return false;
        }
    }
    return args.file != nullptr;
}

int run(int argc, char** argv, Model model)
{
    Arguments args;
    if (!parse(argc, argv, model, args)) {
        std::fprintf(stderr, model == Model::json
                                 ? "usage: velmor-dump json [--pretty] [--bulk-threshold N] [--pixel-data] FILE\n"
                                 : "usage: velmor-dump xml [--bulk-threshold N] [--pixel-data] FILE\n");
        return 2;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(args.file, error);
    args.model.file_path = error ? std::string(args.file) : absolute.lexically_normal().string();

    const ReadResult result = read_data_set(args.file, args.read);
    if (result.failure == -4 || result.failure == -5 || result.failure == -6) {
        print_error_line(args.file, read_failure_text(result.failure));
        return 1;
    }
    ModelOutput out(stdout);
    if (model == Model::json) {
        std::vector<ModelWarning> warnings;
        write_json(result.data_set, args.model, out, warnings);
        for (const ModelWarning& w : warnings) {
            const std::string detail = "(" + tag_hex(w.tag).insert(4, ",") + ") \"" + w.text + "\"";
            print_error_line(args.file, "not a valid number, written as a string", detail.c_str());
        }
    } else {
        write_xml(result.data_set, args.model, out);
    }
    const bool written = out.flush() && std::fflush(stdout) == 0;
    if (result.failure != 0) {
        print_error_line(args.file, read_failure_text(result.failure));
        return 1;
    }
    if (!written) {
        print_error_line("-", "cannot write standard output");
        return 1;
    }
    return 0;
}

} // namespace

int cmd_json(int argc, char** argv) { return run(argc, argv, Model::json); }

int cmd_xml(int argc, char** argv) { return run(argc, argv, Model::xml); }
