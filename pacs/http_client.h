// HTTP for the DICOMweb archive: one connection to a server (kept open across
// requests), its credentials, TLS checks and timeouts, answers streamed to a
// sink as they arrive, uploads streamed from disk, and a cancel flag.
// Failures come back as one line saying what went wrong, without the server's
// name (the caller adds it).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pacs/server.h"

struct HttpResult {
    bool ok = false;          // the transfer completed with a 2xx status
    long status = 0;          // 0 when no answer came
    std::string message;      // when !ok: "cannot connect", "timed out after 30 s", "401 Unauthorized: ..."
    std::string content_type; // of the answer
    std::string body;         // the answer when no sink took it (an error's answer cut at 4 KB)
};

// Where a 2xx answer's body goes as it arrives. Each returns false (with
// `error` set) to stop the transfer with that message.
struct HttpSink {
    std::function<bool(const std::string& content_type, std::string& error)> begin; // before the first byte
    std::function<bool(std::string_view bytes, std::string& error)> bytes;
};

// A request body made of text pieces and whole files, read as it is sent.
class HttpUpload {
public:
    void add_text(std::string text);
    // False with `error` set when the file cannot be opened.
    bool add_file(const std::string& path, std::string& error);
    uint64_t size() const { return size_; }
    // The next bytes into `to`; 0 at the end; false on a read error.
    bool read(char* to, std::size_t most, std::size_t& got, std::string& error);

private:
    struct Piece {
        std::string text;
        std::string path; // a file when not empty
        uint64_t size = 0;
    };
    std::vector<Piece> pieces_;
    uint64_t size_ = 0;
    std::size_t piece_ = 0;
    uint64_t offset_ = 0; // in the current piece
    struct Close {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Close> file_;
};

class HttpClient {
public:
    explicit HttpClient(const Server& server);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // `headers` are "Name: value" lines. Without a sink the body is kept in
    // the result. `cancel` (may be null) stops the transfer when set.
    HttpResult get(const std::string& url, const std::vector<std::string>& headers, const HttpSink* sink,
                   const std::atomic<bool>* cancel);
    HttpResult post(const std::string& url, const std::vector<std::string>& headers, HttpUpload& body,
                    const std::atomic<bool>* cancel);

private:
    struct Transfer;
    HttpResult perform(const std::string& url, const std::vector<std::string>& headers, const HttpSink* sink,
                       HttpUpload* upload, const std::atomic<bool>* cancel);

    Server server_;
    void* curl_ = nullptr; // CURL*
};

// The text as a URL query value: the characters a query may hold kept as
// they are (wildcards and the "^" of person names among them: some archives
// match the query's text without decoding it), the rest as %XX.
std::string url_query_value(std::string_view text);
