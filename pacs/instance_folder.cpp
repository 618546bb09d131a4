#include "pacs/instance_folder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

bool is_valid_uid(std::string_view uid)
{
    if (uid.empty() || uid.size() > 64) return false;
    std::size_t component_start = 0;
    for (std::size_t i = 0; i <= uid.size(); ++i) {
        if (i == uid.size() || uid[i] == '.') {
            const std::size_t length = i - component_start;
            if (length == 0 || (length > 1 && uid[component_start] == '0')) return false;
            component_start = i + 1;
        } else if (uid[i] < '0' || uid[i] > '9') {
            return false;
        }
    }
    return true;
}

std::string pacs_cache_folder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return std::string(cache) + "/velmor/pacs";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/.cache/velmor/pacs";
}

InstanceFolder::InstanceFolder(std::string folder) : folder_(std::move(folder)) {}

InstanceFolder::~InstanceFolder()
{
    if (!finished_) discard();
}

std::string InstanceFolder::temporary_path()
{
    std::string path =
        folder_ + "/.velmor-" + std::to_string(::getpid()) + "-" + std::to_string(next_++) + ".part";
    temporaries_.push_back(path);
    return path;
}

bool InstanceFolder::keep(const std::string& temporary, std::string_view sop_instance_uid, std::string& final_path,
                          std::string& error)
{
    std::erase(temporaries_, temporary);
    if (!is_valid_uid(sop_instance_uid)) {
        std::remove(temporary.c_str());
        error = "an instance has no valid SOP Instance UID";
        return false;
    }
    final_path = folder_ + "/" + std::string(sop_instance_uid) + ".dcm";
    // A copy of the same instance already there (an earlier retrieve's) is
    // replaced whole and not undone: removing it would lose what was there.
    const bool replaces = ::access(final_path.c_str(), F_OK) == 0;
    if (std::rename(temporary.c_str(), final_path.c_str()) != 0) {
        error = "cannot write " + final_path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    if (!replaces) {
        kept_.push_back(final_path);
    }
    return true;
}

bool InstanceFolder::write(std::string_view bytes, std::string_view sop_instance_uid, std::string& final_path,
                           std::string& error)
{
    const std::string temporary = temporary_path();
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            error = "cannot write into " + folder_ + ": " + std::strerror(errno);
            std::erase(temporaries_, temporary);
            std::remove(temporary.c_str());
            return false;
        }
    }
    return keep(temporary, sop_instance_uid, final_path, error);
}

void InstanceFolder::discard()
{
    for (const std::string& path : temporaries_)
        std::remove(path.c_str());
    for (const std::string& path : kept_)
        std::remove(path.c_str());
    temporaries_.clear();
    kept_.clear();
}

void InstanceFolder::finish()
{
    for (const std::string& path : temporaries_)
        std::remove(path.c_str());
    temporaries_.clear();
    finished_ = true;
}

namespace {

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }

std::string trimmed(std::string_view value)
{
    while (!value.empty() && (value.back() == '\0' || value.back() == ' '))
        value.remove_suffix(1);
    return std::string(value);
}

// (0002,0003) in the file meta group, written explicit VR little endian.
std::string meta_instance_uid(std::string_view bytes)
{
    if (bytes.size() < 132 || bytes.substr(128, 4) != "DICM") return {};
    std::size_t at = 132;
    while (at + 8 <= bytes.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        const uint16_t group = le16(p);
        const uint16_t element = le16(p + 2);
        if (group != 2) return {};
        const bool long_form = (p[4] == 'O' && p[5] == 'B') || (p[4] == 'U' && (p[5] == 'N' || p[5] == 'T'));
        std::size_t header = 8;
        uint64_t length = le16(p + 6);
        if (long_form) {
            if (at + 12 > bytes.size()) return {};
            header = 12;
            length = le32(p + 8);
        }
        if (length > bytes.size() - at - header) return {};
        if (element == 3) return trimmed(bytes.substr(at + header, static_cast<std::size_t>(length)));
        at += header + static_cast<std::size_t>(length);
    }
    return {};
}

} // namespace

std::string sop_instance_uid_of(std::string_view file_bytes) { return meta_instance_uid(file_bytes); }
