#include "pacs/server.h"

#include <charconv>

namespace {

bool starts_with(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool valid_ae_title(std::string_view title)
{
    if (title.empty() || title.size() > 16) return false;
    for (char c : title)
        if (c < 0x20 || c > 0x7e || c == '\\') return false;
    return true;
}

bool read_dimse_address(std::string_view rest, Server& server, std::string& error)
{
    const auto at = rest.rfind('@');
    if (at == std::string_view::npos) {
        error = "a DIMSE address names the called AE title: dimse://AE@host:port";
        return false;
    }
    std::string_view titles = rest.substr(0, at);
    std::string_view place = rest.substr(at + 1);
    if (const auto colon = titles.find(':'); colon != std::string_view::npos) {
        server.calling_ae = std::string(titles.substr(0, colon));
        titles = titles.substr(colon + 1);
    }
    server.called_ae = std::string(titles);
    if (!valid_ae_title(server.called_ae) || !valid_ae_title(server.calling_ae)) {
        error = "an AE title is 1 to 16 printable characters without a backslash";
        return false;
    }
    server.port = 104;
    if (const auto colon = place.rfind(':'); colon != std::string_view::npos) {
        const std::string_view digits = place.substr(colon + 1);
        unsigned port = 0;
        const auto [end, code] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (code != std::errc() || end != digits.data() + digits.size() || port == 0 || port > 65535) {
            error = "the port is not a number from 1 to 65535";
            return false;
        }
        server.port = static_cast<uint16_t>(port);
        place = place.substr(0, colon);
    }
    if (place.empty()) {
        error = "the address names no host";
        return false;
    }
    server.host = std::string(place);
    server.protocol = ServerProtocol::dimse;
    return true;
}

// Takes user:password@ out of an http(s) URL into the server.
bool read_web_address(std::string_view address, std::string_view scheme, Server& server, std::string& error)
{
    std::string_view rest = address.substr(scheme.size());
    const auto path_start = rest.find('/');
    std::string_view authority = rest.substr(0, path_start);
    const std::string_view path =
        path_start == std::string_view::npos ? std::string_view() : rest.substr(path_start);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = authority.substr(0, at);
        const auto colon = credentials.find(':');
        server.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos) server.password = std::string(credentials.substr(colon + 1));
        authority = authority.substr(at + 1);
    }
    if (authority.empty()) {
        error = "the address names no host";
        return false;
    }
    std::string url = std::string(scheme) + std::string(authority) + std::string(path);
    while (url.size() > scheme.size() && url.back() == '/')
        url.pop_back();
    server.base_url = url;
    server.protocol = ServerProtocol::dicomweb;
    return true;
}

} // namespace

bool server_from_address(std::string_view address, Server& server, std::string& error)
{
    server = Server{};
    server.name = std::string(address);
    if (starts_with(address, "dimse://")) return read_dimse_address(address.substr(8), server, error);
    for (std::string_view scheme : {"http://", "https://"})
        if (starts_with(address, scheme)) {
            if (!read_web_address(address, scheme, server, error)) return false;
            // The name shown in messages never carries the password.
            server.name = server.base_url;
            return true;
        }
    error = "not a server address: http(s)://host/path or dimse://AE@host:port";
    return false;
}

std::string server_label(const Server& server)
{
    std::string where =
        server.protocol == ServerProtocol::dicomweb
            ? server.base_url
            : "dimse://" + server.called_ae + "@" + server.host + ":" + std::to_string(server.port);
    if (server.name.empty() || server.name == where) return "PACS " + where;
    return "PACS \"" + server.name + "\" (" + where + ")";
}
