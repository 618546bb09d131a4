#include "pacs/multipart.h"

#include <algorithm>

namespace {

// Text before the first boundary that is let by; a body that holds none in
// this much is not the multipart body it claims to be.
constexpr std::size_t preamble_limit = 8192;
constexpr std::size_t header_limit = 16384;
constexpr std::size_t boundary_limit = 200;

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool is_space(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (is_space(text.back()) || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// A token's characters (RFC 2045): printable, no space and no tspecial.
bool is_token_char(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f) return false;
    return std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

std::size_t token_end(std::string_view text, std::size_t at)
{
    while (at < text.size() && is_token_char(text[at]))
        ++at;
    return at;
}

std::size_t skip_spaces(std::string_view text, std::size_t at)
{
    while (at < text.size() && is_space(text[at]))
        ++at;
    return at;
}

} // namespace

std::string ContentType::parameter(std::string_view name) const
{
    for (const auto& [key, value] : parameters)
        if (key == name) return value;
    return {};
}

bool parse_content_type(std::string_view value, ContentType& content_type, std::string& error)
{
    content_type = {};
    value = trim(value);
    std::size_t at = token_end(value, 0);
    if (at == 0 || at >= value.size() || value[at] != '/') {
        error = "the Content-Type \"" + std::string(value) + "\" is no type/subtype";
        return false;
    }
    const std::size_t sub_end = token_end(value, at + 1);
    if (sub_end == at + 1) {
        error = "the Content-Type \"" + std::string(value) + "\" is no type/subtype";
        return false;
    }
    content_type.type = lower(value.substr(0, sub_end));
    at = skip_spaces(value, sub_end);
    while (at < value.size()) {
        if (value[at] != ';') {
            error = "the Content-Type \"" + std::string(value) + "\" has text where a ';' belongs";
            return false;
        }
        at = skip_spaces(value, at + 1);
        if (at == value.size()) break; // a trailing ';'
        const std::size_t name_end = token_end(value, at);
        if (name_end == at || name_end >= value.size() || value[name_end] != '=') {
            error = "the Content-Type \"" + std::string(value) + "\" has a parameter without a value";
            return false;
        }
        std::string name = lower(value.substr(at, name_end - at));
        std::string parameter;
        at = name_end + 1;
        if (at < value.size() && value[at] == '"') {
            for (++at;; ++at) {
                if (at >= value.size()) {
                    error = "the Content-Type \"" + std::string(value) + "\" has an unclosed quoted value";
                    return false;
                }
                if (value[at] == '"') break;
                if (value[at] == '\\' && at + 1 < value.size()) ++at;
                parameter += value[at];
            }
            ++at;
        } else {
            // Up to the next ';': archives write type=application/dicom
            // unquoted, though '/' belongs in no token.
            std::size_t end = at;
            while (end < value.size() && value[end] != ';' && !is_space(value[end]))
                ++end;
            parameter = std::string(value.substr(at, end - at));
            at = end;
        }
        content_type.parameters.emplace_back(std::move(name), std::move(parameter));
        at = skip_spaces(value, at);
    }
    return true;
}

bool dicom_multipart_boundary(std::string_view content_type, std::string& boundary, std::string& error)
{
    ContentType parsed;
    if (!parse_content_type(content_type, parsed, error)) return false;
    if (parsed.type != "multipart/related") {
        error = "the answer is " + parsed.type + ", not multipart/related";
        return false;
    }
    const std::string type = lower(parsed.parameter("type"));
    if (!type.empty() && type != "application/dicom") {
        error = "the multipart answer holds " + type + ", not application/dicom";
        return false;
    }
    boundary = parsed.parameter("boundary");
    if (boundary.empty()) {
        error = "the multipart answer names no boundary";
        return false;
    }
    if (boundary.size() > boundary_limit) {
        error = "the multipart answer's boundary is longer than " + std::to_string(boundary_limit) + " characters";
        return false;
    }
    return true;
}

MultipartParser::MultipartParser(std::string boundary, MultipartSink sink)
    : delimiter_("\r\n--" + boundary), sink_(std::move(sink)),
      // The first boundary may open the body: it then follows this line break.
      buffer_("\r\n")
{
}

bool MultipartParser::fail(std::string message)
{
    error_ = std::move(message);
    state_ = State::failed;
    buffer_.clear();
    return false;
}

bool MultipartParser::feed(std::string_view bytes)
{
    if (state_ == State::failed) return false;
    if (state_ == State::epilogue) return true;
    buffer_.append(bytes);
    return run();
}

bool MultipartParser::run()
{
    for (;;) {
        const std::size_t before = buffer_.size();
        const State state = state_;
        bool ok = true;
        switch (state_) {
        case State::preamble: ok = read_preamble(); break;
        case State::boundary_line: ok = read_boundary_line(); break;
        case State::headers: ok = read_headers(); break;
        case State::body: ok = read_body(); break;
        case State::epilogue: buffer_.clear(); return true;
        case State::failed: return false;
        }
        if (!ok) return false;
        // Nothing more can be done until more bytes arrive.
        if (state_ == state && buffer_.size() == before) return true;
    }
}

bool MultipartParser::read_preamble()
{
    const std::size_t found = buffer_.find(delimiter_);
    if (found == std::string::npos) {
        const std::size_t keep = std::min(buffer_.size(), delimiter_.size() - 1);
        preamble_seen_ += buffer_.size() - keep;
        buffer_.erase(0, buffer_.size() - keep);
        if (preamble_seen_ > preamble_limit)
            return fail("the multipart answer has no boundary in its first " + std::to_string(preamble_limit) +
                        " bytes");
        return true;
    }
    preamble_seen_ += found;
    if (preamble_seen_ > preamble_limit + 2)
        return fail("the multipart answer has more than " + std::to_string(preamble_limit) +
                    " bytes before its first boundary");
    buffer_.erase(0, found + delimiter_.size());
    state_ = State::boundary_line;
    return true;
}

// After a boundary: "--" closes the body, else optional spaces and a line break.
bool MultipartParser::read_boundary_line()
{
    if (buffer_.size() < 2) return true;
    if (buffer_.compare(0, 2, "--") == 0) {
        state_ = State::epilogue;
        buffer_.clear();
        return true;
    }
    const std::size_t at = skip_spaces(buffer_, 0);
    if (at == buffer_.size() || (at + 1 == buffer_.size() && buffer_[at] == '\r')) {
        if (buffer_.size() > 256) return fail("a boundary line of the multipart answer does not end");
        return true;
    }
    if (buffer_.compare(at, 2, "\r\n") != 0)
        return fail("a boundary line of the multipart answer has text after the boundary");
    buffer_.erase(0, at + 2);
    state_ = State::headers;
    return true;
}

bool MultipartParser::read_headers()
{
    std::size_t end = 0;
    std::size_t skip = 0;
    if (buffer_.size() >= 2 && buffer_.compare(0, 2, "\r\n") == 0) {
        skip = 2; // no headers
    } else {
        end = buffer_.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (buffer_.size() > header_limit)
                return fail("part " + std::to_string(parts_ + 1) + " of the multipart answer has headers over " +
                            std::to_string(header_limit) + " bytes");
            return true;
        }
        skip = end + 4;
    }
    const std::string headers = buffer_.substr(0, end);
    buffer_.erase(0, skip);
    ++parts_;
    if (!check_part_headers(headers)) return false;
    if (sink_.begin_part && !sink_.begin_part(error_)) return fail(error_);
    state_ = State::body;
    return true;
}

bool MultipartParser::check_part_headers(std::string_view headers)
{
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find("\r\n", start);
        if (end == std::string_view::npos) end = headers.size();
        const std::string_view line = headers.substr(start, end - start);
        start = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return fail("part " + std::to_string(parts_) +
                        " of the multipart answer has a header line without ':'");
        if (lower(trim(line.substr(0, colon))) != "content-type") continue;
        ContentType type;
        std::string error;
        if (!parse_content_type(line.substr(colon + 1), type, error))
            return fail("part " + std::to_string(parts_) + " of the multipart answer: " + error);
        if (type.type != "application/dicom")
            return fail("part " + std::to_string(parts_) + " of the multipart answer is " + type.type +
                        ", not application/dicom");
    }
    return true;
}

bool MultipartParser::read_body()
{
    const std::size_t found = buffer_.find(delimiter_);
    const std::size_t ready =
        found != std::string::npos ? found : buffer_.size() - std::min(buffer_.size(), delimiter_.size() - 1);
    if (ready > 0 && sink_.part_bytes && !sink_.part_bytes(std::string_view(buffer_).substr(0, ready), error_))
        return fail(error_);
    if (found == std::string::npos) {
        buffer_.erase(0, ready);
        return true;
    }
    buffer_.erase(0, found + delimiter_.size());
    if (sink_.end_part && !sink_.end_part(error_)) return fail(error_);
    state_ = State::boundary_line;
    return true;
}

bool MultipartParser::finish()
{
    switch (state_) {
    case State::epilogue: return true;
    case State::failed: return false;
    case State::preamble: return fail("the multipart answer holds no boundary");
    default:
        return fail("the multipart answer ended inside part " + std::to_string(std::max(parts_, 1)) +
                    " without its closing boundary");
    }
}
