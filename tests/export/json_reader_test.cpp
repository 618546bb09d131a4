// The JSON model read back: what the writer writes comes out the same when
// read and written again; every kind of value; malformed text refused with
// where it went wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "export/data_set.h"
#include "export/json_reader.h"
#include "export/json_writer.h"

namespace {

std::string written(const std::vector<DataSet>& sets)
{
    ModelOutput out(nullptr);
    std::vector<ModelWarning> warnings;
    for (const DataSet& set : sets)
        write_json(set, {}, out, warnings);
    return out.text();
}

std::string read_error(std::string_view text)
{
    std::vector<DataSet> sets;
    std::string error;
    EXPECT_FALSE(read_json(text, sets, error)) << text;
    EXPECT_TRUE(sets.empty());
    return error;
}

} // namespace

TEST(JsonReader, WriterOutputReadsBackTheSameForEveryPydicomFile)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VELMOR_PYDICOM_FILES)) {
        if (entry.path().extension() != ".dcm") continue;
        const std::string path = entry.path().string();
        const ReadResult file = read_data_set(path.c_str(), {});
        if (file.failure < -3) continue;
        ModelOutput out(nullptr);
        ModelOptions options;
        options.file_path = path;
        std::vector<ModelWarning> warnings;
        write_json(file.data_set, options, out, warnings);
        std::vector<DataSet> sets;
        std::string error;
        ASSERT_TRUE(read_json(out.text(), sets, error)) << path << ": " << error;
        ASSERT_EQ(sets.size(), 1U);
        EXPECT_EQ(written(sets), out.text()) << path;
        ++files;
    }
    EXPECT_GT(files, 50);
}

TEST(JsonReader, ReadsEveryKindOfValueInAnyMemberOrder)
{
    // Orthanc writes "Value" before "vr"; tags out of order are sorted.
    const std::string text = R"([{
      "00280010": {"Value": [512], "vr": "US"},
      "00100010": {"vr": "PN", "Value": [{"Alphabetic": "Yamada^Tarou", "Ideographic": "\u5c71\u7530^\u592a\u90ce"},
                                         null, {"Phonetic": "p"}]},
      "00081150": {"vr": "UI", "Value": ["1.2.3", null, "4"]},
      "00209241": {"vr": "FL", "Value": [0.1, null, -3e+38]},
      "00200032": {"vr": "DS", "Value": [-1.5, "7", 1e-5]},
      "00209165": {"vr": "AT", "Value": ["7FE00010"]},
      "00720064": {"vr": "SV", "Value": [-9007199254740993]},
      "00081140": {"vr": "SQ", "Value": [{"00081155": {"vr": "UI", "Value": ["1.2"]}}, {}]},
      "7FE00010": {"vr": "OW", "BulkDataURI": "http://pacs/bulk/1"},
      "00091001": {"vr": "OB", "InlineBinary": "AAEC/w=="},
      "00091002": {"vr": "UN", "unknown member": [1, {"x": true}]}
    }, {}])";
    std::vector<DataSet> sets;
    std::string error;
    ASSERT_TRUE(read_json(text, sets, error)) << error;
    ASSERT_EQ(sets.size(), 2U);
    EXPECT_EQ(written(sets),
              R"({"00081140":{"vr":"SQ","Value":[{"00081155":{"vr":"UI","Value":["1.2"]}},{}]},)"
              R"("00081150":{"vr":"UI","Value":["1.2.3",null,"4"]},)"
              R"("00091001":{"vr":"OB","InlineBinary":"AAEC/w=="},"00091002":{"vr":"UN"},)"
              R"("00100010":{"vr":"PN","Value":[{"Alphabetic":"Yamada^Tarou","Ideographic":")"
              "\xE5\xB1\xB1\xE7\x94\xB0^\xE5\xA4\xAA\xE9\x83\x8E"
              R"("},null,{"Phonetic":"p"}]},)"
              R"("00200032":{"vr":"DS","Value":[-1.5,7,1e-5]},"00209165":{"vr":"AT","Value":["7FE00010"]},)"
              R"("00209241":{"vr":"FL","Value":[0.1,null,-3e+38]},"00280010":{"vr":"US","Value":[512]},)"
              R"("00720064":{"vr":"SV","Value":[-9007199254740993]},)"
              R"("7FE00010":{"vr":"OW","BulkDataURI":"http://pacs/bulk/1"}})"
              "\n{}\n");
}

TEST(JsonReader, RefusesMalformedTextSayingWhere)
{
    EXPECT_EQ(read_error("[{\"00100010\": {\"vr\": \"PN\"}\n,  \"0010"),
              "line 2, column 4: a string does not end");
    EXPECT_EQ(read_error("{\"00100010\" {}}"), "line 1, column 13: expected ':' after a tag");
    EXPECT_EQ(read_error("{\"0010001\": {\"vr\": \"PN\"}}"),
              "line 1, column 2: the member name \"0010001\" is no tag of 8 hex digits");
    EXPECT_EQ(read_error("{\"00100010\": {\"Value\": [\"A\"]}}"),
              "line 1, column 30: the element 00100010 has no \"vr\"");
    EXPECT_EQ(read_error("{\"00280010\": {\"vr\": \"US\", \"Value\": [70000]}}"),
              "line 1, column 37: 70000 is out of the range of VR US");
    EXPECT_EQ(read_error("{\"00100010\": {\"vr\": \"pn\"}}"), "line 1, column 21: \"pn\" is no VR");
    EXPECT_EQ(read_error("{\"7FE00010\": {\"vr\": \"OB\", \"InlineBinary\": \"AA=A\"}}"),
              "line 1, column 43: InlineBinary of 7FE00010 is not Base64");
    EXPECT_EQ(read_error("{\"00100010\": {\"vr\": \"PN\"}, \"00100010\": {\"vr\": \"PN\"}}"),
              "line 1, column 53: the tag 00100010 appears twice in one data set");
    EXPECT_EQ(read_error("[] x"), "line 1, column 4: text after the end of the JSON model");
    EXPECT_EQ(read_error("{\"00100010\": {\"vr\": \"LO\", \"Value\": [\"\\ud800\"]}}"),
              "line 1, column 44: a \\u escape of a high surrogate without its low one");
    EXPECT_EQ(read_error(""), "line 1, column 1: expected a data set (an object) or an array of them");

    // Nesting: sequences past the limit, and deep arrays anywhere, refused
    // without exhausting the stack.
    std::string nested;
    for (int i = 0; i <= json_depth_limit; ++i)
        nested += R"({"00081140":{"vr":"SQ","Value":[)";
    for (int i = 0; i <= json_depth_limit; ++i)
        nested += "]}}";
    EXPECT_NE(read_error(nested).find("nested deeper than the limit"), std::string::npos) << read_error(nested);
    const std::string arrays = R"({"00081140":{"vr":"UN","x":)" + std::string(100000, '[');
    EXPECT_NE(read_error(arrays).find("nested deeper than the limit"), std::string::npos);
}
