// The multipart/related parser fed in pieces of every size, the Content-Type
// it accepts, and the broken bodies it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pacs/multipart.h"

namespace {

// The parts a parse gave, or its error.
struct Parsed {
    std::vector<std::string> parts;
    std::string error;
    bool ok = false;
};

// Feeds `body` cut at `cuts` (ascending positions), then finishes.
Parsed parse(const std::string& body, const std::vector<std::size_t>& cuts, const std::string& boundary = "XyZ")
{
    Parsed parsed;
    bool open = false;
    MultipartSink sink;
    sink.begin_part = [&](std::string&) {
        EXPECT_FALSE(open);
        open = true;
        parsed.parts.emplace_back();
        return true;
    };
    sink.part_bytes = [&](std::string_view bytes, std::string&) {
        EXPECT_TRUE(open);
        EXPECT_FALSE(bytes.empty());
        parsed.parts.back() += bytes;
        return true;
    };
    sink.end_part = [&](std::string&) {
        open = false;
        return true;
    };
    MultipartParser parser(boundary, sink);
    std::size_t from = 0;
    parsed.ok = true;
    for (std::size_t cut : cuts) {
        parsed.ok = parsed.ok && parser.feed(std::string_view(body).substr(from, cut - from));
        from = cut;
    }
    parsed.ok = parsed.ok && parser.feed(std::string_view(body).substr(from)) && parser.finish();
    parsed.error = parser.error();
    return parsed;
}

const std::string first_part = std::string("DICM\r\n--Xy\r\n-\0\r", 16) + "\r\n--XyY not quite";
const std::string body =
    "preamble text\r\n--XyZ\r\nContent-Type: application/dicom; transfer-syntax=1.2.840.10008.1.2.1\r\n"
    "Content-Length: 33\r\n\r\n" +
    first_part +
    "\r\n--XyZ  \r\n\r\n\r\n--XyZ\r\nContent-Type: Application/DICOM\r\n\r\nsecond\r\n--XyZ--\r\nepilogue";

} // namespace

TEST(Multipart, SplitsPartsWhereverTheBodyIsCut)
{
    const std::vector<std::string> expected = {first_part, "", "second"};
    for (std::size_t cut = 0; cut <= body.size(); ++cut) {
        const Parsed parsed = parse(body, {cut});
        ASSERT_TRUE(parsed.ok) << "cut at " << cut << ": " << parsed.error;
        EXPECT_EQ(parsed.parts, expected) << "cut at " << cut;
    }
    std::vector<std::size_t> every_byte;
    for (std::size_t i = 1; i < body.size(); ++i)
        every_byte.push_back(i);
    EXPECT_EQ(parse(body, every_byte).parts, expected);
    // The first boundary may open the body.
    EXPECT_EQ(parse("--XyZ\r\n\r\nonly\r\n--XyZ--", {}).parts, std::vector<std::string>{"only"});
}

TEST(Multipart, RefusesBrokenBodies)
{
    EXPECT_EQ(parse(body.substr(0, body.size() - 20), {100}).error,
              "the multipart answer ended inside part 3 without its closing boundary");
    EXPECT_EQ(parse("--XyZ\r\nContent-Type: image/jpeg\r\n\r\nx\r\n--XyZ--", {}).error,
              "part 1 of the multipart answer is image/jpeg, not application/dicom");
    EXPECT_EQ(parse(std::string(9000, 'x'), {4000}).error,
              "the multipart answer has no boundary in its first 8192 bytes");
    EXPECT_EQ(parse("no boundary at all", {}).error, "the multipart answer holds no boundary");
    EXPECT_EQ(parse("--XyZ garbage\r\n\r\nx\r\n--XyZ--", {}).error,
              "a boundary line of the multipart answer has text after the boundary");
    EXPECT_EQ(parse("--XyZ\r\nno colon\r\n\r\nx\r\n--XyZ--", {}).error,
              "part 1 of the multipart answer has a header line without ':'");

    // A sink that stops the parse: its message is the parser's.
    MultipartSink refusing;
    refusing.begin_part = [](std::string& error) {
        error = "disk full";
        return false;
    };
    MultipartParser parser("XyZ", refusing);
    EXPECT_FALSE(parser.feed("--XyZ\r\n\r\nx"));
    EXPECT_EQ(parser.error(), "disk full");
    EXPECT_FALSE(parser.feed("more"));
}

TEST(Multipart, TakesTheBoundaryFromTheContentType)
{
    std::string boundary, error;
    ASSERT_TRUE(dicom_multipart_boundary(
        R"(Multipart/Related; TYPE="application/dicom"; boundary="a \"q\";b=c"; transfer-syntax=*)", boundary,
        error))
        << error;
    EXPECT_EQ(boundary, R"(a "q";b=c)");
    ASSERT_TRUE(dicom_multipart_boundary("multipart/related;boundary=42-ab;", boundary, error)) << error;
    EXPECT_EQ(boundary, "42-ab");

    const std::pair<const char*, const char*> refused[] = {
        {"multipart/related; type=\"application/dicom\"", "the multipart answer names no boundary"},
        {"application/dicom+json", "the answer is application/dicom+json, not multipart/related"},
        {"multipart/related; type=image/jpeg; boundary=x",
         "the multipart answer holds image/jpeg, not application/dicom"},
        {"multipart/related; boundary=\"open",
         "the Content-Type \"multipart/related; boundary=\"open\" has an unclosed quoted value"},
        {"text", "the Content-Type \"text\" is no type/subtype"},
    };
    for (const auto& [value, message] : refused) {
        EXPECT_FALSE(dicom_multipart_boundary(value, boundary, error)) << value;
        EXPECT_EQ(error, message);
    }
}
