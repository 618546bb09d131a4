#include "viewer/pacs_rows.h"

#include <algorithm>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view text) { return std::all_of(text.begin(), text.end(), is_digit); }

int number(std::string_view digits)
{
    int n = 0;
    for (char c : digits) {
        n = n * 10 + (c - '0');
    }
    return n;
}

bool leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool is_day(int year, int month, int day)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    const int last = days[month - 1] + (month == 2 && leap(year) ? 1 : 0);
    return day <= last;
}

// An AE title: 1 to 16 characters of the default repertoire, no backslash or
// control character, not only spaces.
bool is_ae_title(const std::string& title)
{
    if (title.empty() || title.size() > 16 || title.find_first_not_of(' ') == std::string::npos) {
        return false;
    }
    return std::all_of(title.begin(), title.end(), [](char c) { return c >= ' ' && c <= '~' && c != '\\'; });
}

bool is_url(const std::string& url)
{
    for (std::string_view scheme : {"http://", "https://"}) {
        if (url.rfind(scheme, 0) == 0) {
            return url.size() > scheme.size() && url.find_first_of(" \t\r\n") == std::string::npos;
        }
    }
    return false;
}

} // namespace

ServerProblem check_server(const Server& server, const std::vector<Server>& servers, std::size_t editing)
{
    if (server.name.empty() || server.name.find_first_not_of(' ') == std::string::npos) {
        return ServerProblem::no_name;
    }
    for (std::size_t i = 0; i < servers.size(); ++i) {
        if (i != editing && servers[i].name == server.name) {
            return ServerProblem::duplicate_name;
        }
    }
    if (server.protocol == ServerProtocol::dicomweb) {
        if (server.base_url.empty()) {
            return ServerProblem::no_url;
        }
        return is_url(server.base_url) ? ServerProblem::none : ServerProblem::bad_url;
    }
    if (server.host.empty()) {
        return ServerProblem::no_host;
    }
    return is_ae_title(server.called_ae) && is_ae_title(server.calling_ae) ? ServerProblem::none
                                                                           : ServerProblem::bad_ae_title;
}

bool needs_password(const Server& server)
{
    return server.protocol == ServerProtocol::dicomweb && !server.user.empty();
}

void take_secret(Server& server, const std::string& secret)
{
    if (server.protocol != ServerProtocol::dicomweb) {
        return;
    }
    if (server.user.empty()) {
        server.token = secret;
    } else {
        server.password = secret;
    }
}

bool query_date(std::string_view text, std::string& date)
{
    date.clear();
    if (text.empty()) {
        return true;
    }
    std::string digits;
    if (text.size() == 8 && all_digits(text)) {
        digits = text;
    } else if (text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4] &&
               all_digits(text.substr(0, 4)) && all_digits(text.substr(5, 2)) && all_digits(text.substr(8, 2))) {
        digits = std::string(text.substr(0, 4)) + std::string(text.substr(5, 2)) + std::string(text.substr(8, 2));
    } else {
        return false;
    }
    const std::string_view d = digits;
    if (!is_day(number(d.substr(0, 4)), number(d.substr(4, 2)), number(d.substr(6, 2)))) {
        return false;
    }
    date = digits;
    return true;
}

std::string shown_date(const std::string& date)
{
    if (date.size() != 8 || !all_digits(date)) {
        return date;
    }
    return date.substr(0, 4) + '-' + date.substr(4, 2) + '-' + date.substr(6, 2);
}

std::string shown_count(int count) { return count < 0 ? std::string() : std::to_string(count); }

std::string shown_modalities(const std::string& modalities)
{
    std::string text;
    for (char c : modalities) {
        if (c == '\\') {
            text += ", ";
        } else {
            text += c;
        }
    }
    return text;
}

std::string shown_person_name(const std::string& name)
{
    std::string text = name;
    std::replace(text.begin(), text.end(), '^', ' ');
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}
