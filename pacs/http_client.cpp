#include "pacs/http_client.h"

#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <sys/stat.h>

namespace {

constexpr std::size_t error_body_limit = 4096;

void global_init()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string reason_of(long status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 406: return "Not Acceptable";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return {};
    }
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return std::string(text);
}

} // namespace

std::string url_query_value(std::string_view text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            std::string_view("-_.~*?^:@/!$'(),;").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += digits[u >> 4];
            out += digits[u & 0xF];
        }
    }
    return out;
}

void HttpUpload::add_text(std::string text)
{
    size_ += text.size();
    Piece piece;
    piece.size = text.size();
    piece.text = std::move(text);
    pieces_.push_back(std::move(piece));
}

bool HttpUpload::add_file(const std::string& path, std::string& error)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot read " + path + ": " + (errno != 0 ? std::strerror(errno) : "not a file");
        return false;
    }
    Piece piece;
    piece.path = path;
    piece.size = static_cast<uint64_t>(info.st_size);
    size_ += piece.size;
    pieces_.push_back(std::move(piece));
    return true;
}

bool HttpUpload::read(char* to, std::size_t most, std::size_t& got, std::string& error)
{
    got = 0;
    while (got == 0 && piece_ < pieces_.size()) {
        Piece& piece = pieces_[piece_];
        const uint64_t left = piece.size - offset_;
        const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(left, most));
        if (want == 0) {
            file_.reset();
            ++piece_;
            offset_ = 0;
            continue;
        }
        if (piece.path.empty()) {
            std::memcpy(to, piece.text.data() + offset_, want);
            got = want;
        } else {
            if (!file_) {
                file_.reset(std::fopen(piece.path.c_str(), "rb"));
                if (!file_) {
                    error = "cannot read " + piece.path + ": " + std::strerror(errno);
                    return false;
                }
            }
            got = std::fread(to, 1, want, file_.get());
            if (got == 0) {
                error = "cannot read " + piece.path + ": it changed while it was sent";
                return false;
            }
        }
        offset_ += got;
    }
    return true;
}

// What the callbacks of one transfer share.
struct HttpClient::Transfer {
    CURL* curl = nullptr;
    const HttpSink* sink = nullptr;
    HttpUpload* upload = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    HttpResult result;
    std::string status_line;
    bool began = false;
    bool streaming = false; // a 2xx answer going to the sink
    std::string sink_error;

    static size_t on_header(char* data, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        const std::string_view line(data, size * count);
        if (line.substr(0, 5) == "HTTP/") {
            const auto space = line.find(' ');
            t->status_line = space == std::string_view::npos ? std::string() : trimmed(line.substr(space + 1));
        }
        return size * count;
    }

    static size_t on_body(char* data, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        const std::string_view bytes(data, size * count);
        if (!t->began) {
            t->began = true;
            curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &t->result.status);
            const char* type = nullptr;
            curl_easy_getinfo(t->curl, CURLINFO_CONTENT_TYPE, &type);
            t->result.content_type = type ? type : "";
            const bool success = t->result.status >= 200 && t->result.status < 300;
            t->streaming = success && t->sink != nullptr;
            if (t->streaming && t->sink->begin && !t->sink->begin(t->result.content_type, t->sink_error)) return 0;
        }
        if (t->streaming) {
            if (t->sink->bytes && !t->sink->bytes(bytes, t->sink_error)) return 0;
        } else if (t->result.status >= 200 && t->result.status < 300) {
            t->result.body.append(bytes);
        } else if (t->result.body.size() < error_body_limit) {
            t->result.body.append(bytes.substr(0, error_body_limit - t->result.body.size()));
        }
        return size * count;
    }

    static size_t on_read(char* to, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        std::size_t got = 0;
        if (!t->upload->read(to, size * count, got, t->sink_error)) return CURL_READFUNC_ABORT;
        return got;
    }

    static int on_progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        const auto* t = static_cast<Transfer*>(self);
        return t->cancel != nullptr && t->cancel->load() ? 1 : 0;
    }
};

HttpClient::HttpClient(const Server& server) : server_(server)
{
    global_init();
    curl_ = curl_easy_init();
}

HttpClient::~HttpClient()
{
    if (curl_ != nullptr) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

HttpResult HttpClient::get(const std::string& url, const std::vector<std::string>& headers, const HttpSink* sink,
                           const std::atomic<bool>* cancel)
{
    return perform(url, headers, sink, nullptr, cancel);
}

HttpResult HttpClient::post(const std::string& url, const std::vector<std::string>& headers, HttpUpload& body,
                            const std::atomic<bool>* cancel)
{
    return perform(url, headers, nullptr, &body, cancel);
}

HttpResult HttpClient::perform(const std::string& url, const std::vector<std::string>& headers,
                               const HttpSink* sink, HttpUpload* upload, const std::atomic<bool>* cancel)
{
    HttpResult failed;
    if (curl_ == nullptr) {
        failed.message = "cannot start an HTTP transfer";
        return failed;
    }
    CURL* curl = static_cast<CURL*>(curl_);
    curl_easy_reset(curl); // the connection stays open for the next request
    Transfer transfer;
    transfer.curl = curl;
    transfer.sink = sink;
    transfer.upload = upload;
    transfer.cancel = cancel;

    struct SList {
        curl_slist* list = nullptr;
        ~SList() { curl_slist_free_all(list); }
    } list;
    for (const std::string& header : headers)
        list.list = curl_slist_append(list.list, header.c_str());
    if (!server_.token.empty())
        list.list = curl_slist_append(list.list, ("Authorization: Bearer " + server_.token).c_str());
    if (upload != nullptr) list.list = curl_slist_append(list.list, "Expect:");

    const long timeout = server_.timeout_seconds > 0 ? server_.timeout_seconds : 30;
    char error_text[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.list);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 256L * 1024); // fewer, larger pieces of a long answer
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
    // No limit on the whole transfer (a study may be gigabytes): it fails
    // when the server sends nothing for `timeout` seconds.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, server_.allow_self_signed ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, server_.allow_self_signed ? 0L : 2L);
    if (!server_.user.empty() && server_.token.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, server_.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, server_.password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (upload != nullptr) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload->size()));
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Transfer::on_read);
        curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
    }

    const CURLcode code = curl_easy_perform(curl);
    HttpResult& result = transfer.result;
    if (result.status == 0) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    if (result.content_type.empty()) {
        const char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        result.content_type = type ? type : "";
    }
    if (code != CURLE_OK) {
        result.ok = false;
        if (cancel != nullptr && cancel->load()) {
            result.message = "cancelled";
        } else if (!transfer.sink_error.empty()) {
            result.message = transfer.sink_error;
        } else if (code == CURLE_COULDNT_CONNECT) {
            long os_error = 0;
            curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &os_error);
            result.message = os_error == ECONNREFUSED ? "cannot connect: the connection was refused"
                                                      : std::string("cannot connect: ") + error_text;
        } else if (code == CURLE_COULDNT_RESOLVE_HOST) {
            result.message = std::string("cannot find the host: ") + error_text;
        } else if (code == CURLE_OPERATION_TIMEDOUT) {
            result.message = "timed out after " + std::to_string(timeout) + " s";
        } else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE) {
            result.message = std::string("the server's TLS certificate was refused (") + error_text +
                             "); a self-signed certificate must be allowed for this server";
        } else {
            result.message = std::string(curl_easy_strerror(code)) + (error_text[0] ? ": " : "") + error_text;
        }
        return result;
    }
    result.ok = result.status >= 200 && result.status < 300;
    if (!result.ok) {
        std::string line = transfer.status_line;
        if (line.empty() || line == std::to_string(result.status))
            line = std::to_string(result.status) + " " + reason_of(result.status);
        line = trimmed(line);
        if (result.status == 401 || result.status == 403)
            result.message = line + (!server_.token.empty() ? ": the token was refused"
                                     : server_.user.empty() ? ": the server asks for a user name and password"
                                                            : ": the user name or password was refused");
        else if (result.status == 404)
            result.message = line + ": the server has no such resource";
        else
            result.message = line;
    }
    return result;
}
