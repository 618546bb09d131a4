// A multipart/related body of DICOM files (a WADO-RS answer), read as it
// arrives: fed pieces of any size, the parser hands each part's bytes on as
// soon as they are known not to start the next boundary, so a large file is
// never held whole. Parts are application/dicom; anything else is an error.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A Content-Type value: "type/subtype; name=value; name="quoted value"".
// The type and parameter names lower-cased, quoted values unquoted.
struct ContentType {
    std::string type; // "multipart/related"
    std::vector<std::pair<std::string, std::string>> parameters;

    // The parameter's value, empty when it is absent.
    std::string parameter(std::string_view name) const;
};

// False with `error` set when the value is not "type/subtype" with
// well-formed parameters.
bool parse_content_type(std::string_view value, ContentType& content_type, std::string& error);

// The boundary of a multipart/related body of application/dicom parts, from
// the response's Content-Type; false with `error` set when it is another
// type or has no boundary.
bool dicom_multipart_boundary(std::string_view content_type, std::string& boundary, std::string& error);

// Where the parts go. Each returns false (with `error` set) to stop the parse.
struct MultipartSink {
    std::function<bool(std::string& error)> begin_part;
    std::function<bool(std::string_view bytes, std::string& error)> part_bytes;
    std::function<bool(std::string& error)> end_part;
};

class MultipartParser {
public:
    MultipartParser(std::string boundary, MultipartSink sink);

    // The next bytes of the body. False once the body is found malformed or
    // the sink stopped it; error() says why.
    bool feed(std::string_view bytes);
    // The body ended: false when it ended before the closing boundary.
    bool finish();

    const std::string& error() const { return error_; }
    int parts() const { return parts_; }

private:
    enum class State { preamble, boundary_line, headers, body, epilogue, failed };

    bool run();
    bool fail(std::string message);
    bool read_preamble();
    bool read_boundary_line();
    bool read_headers();
    bool read_body();
    bool check_part_headers(std::string_view headers);

    std::string delimiter_; // "\r\n--" + boundary
    MultipartSink sink_;
    std::string buffer_; // bytes not yet handed on
    State state_ = State::preamble;
    std::size_t preamble_seen_ = 0;
    int parts_ = 0;
    std::string error_;
};
