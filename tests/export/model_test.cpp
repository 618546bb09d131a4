// The models' edge rules on hand-built files: numbers that are no numbers,
// person name groups, the bulk data threshold, a cut file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "export/data_set.h"
#include "export/json_writer.h"
#include "export/values.h"
#include "export/xml_writer.h"
#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"

using test_dicom::DicomBytes;

namespace {

constexpr const char* explicit_little = "1.2.840.10008.1.2.1";

struct Written {
    std::string text;
    std::vector<ModelWarning> warnings;
    int failure = 0;
};

Written json_of(const DicomBytes& bytes, ReadOptions read = {}, bool xml = false)
{
    const std::string path = write_temp("in.dcm", bytes.bytes());
    const ReadResult result = read_data_set(path.c_str(), read);
    Written written;
    written.failure = result.failure;
    ModelOutput out(nullptr);
    ModelOptions options;
    options.file_path = path;
    if (xml) {
        write_xml(result.data_set, options, out);
    } else {
        write_json(result.data_set, options, out, written.warnings);
    }
    written.text = out.text();
    return written;
}

} // namespace

TEST(ModelNumbers, DecimalAndIntegerStringsBecomeJsonNumbersOrStayStringsWithAWarning)
{
    EXPECT_EQ(number_text(" +1.50 ", false), "1.50");
    EXPECT_EQ(number_text(".5", false), "0.5");
    EXPECT_EQ(number_text("-7.", false), "-7");
    EXPECT_EQ(number_text("007", true), "7");
    EXPECT_EQ(number_text("1E+03", false), "1e03");
    EXPECT_EQ(number_text("2.5e-3", false), "2.5e-3");
    for (const char* bad : {"", "1A", "1.5.2", "e5", "1e", "--1", "NaN", "0x10"}) {
        EXPECT_EQ(number_text(bad, false), std::nullopt) << bad;
    }
    EXPECT_EQ(number_text("1.5", true), std::nullopt) << "IS holds integers";

    DicomBytes file = DicomBytes::file(explicit_little);
    file.text(0x0018, 0x0050, "DS", "1.5\\abc\\\\-2").text(0x0020, 0x0013, "IS", "1A");
    const Written w = json_of(file);
    EXPECT_NE(w.text.find(R"("00180050":{"vr":"DS","Value":[1.5,"abc",null,-2]})"), std::string::npos) << w.text;
    EXPECT_NE(w.text.find(R"("00200013":{"vr":"IS","Value":["1A"]})"), std::string::npos) << w.text;
    ASSERT_EQ(w.warnings.size(), 2U);
    EXPECT_EQ(w.warnings[0].tag, 0x00180050U);
    EXPECT_EQ(w.warnings[0].text, "abc");
    EXPECT_EQ(w.warnings[1].text, "1A");
}

TEST(ModelPersonNames, GroupsBecomeMembersAndComponents)
{
    DicomBytes file = DicomBytes::file(explicit_little);
    file.text(0x0008, 0x0005, "CS", "ISO_IR 192")
        .text(0x0010, 0x0010, "PN", "Yamada^Tarou=山田^太郎=やまだ^たろう\\=Only^Ideographic");
    const Written json = json_of(file);
    EXPECT_NE(json.text.find(R"("Value":[{"Alphabetic":"Yamada^Tarou","Ideographic":"山田^太郎",)"
                             R"("Phonetic":"やまだ^たろう"},{"Ideographic":"Only^Ideographic"}])"),
              std::string::npos)
        << json.text;

    const Written xml = json_of(file, {}, true);
    EXPECT_NE(xml.text.find("<PersonName number=\"1\">\n<Alphabetic>\n<FamilyName>Yamada</FamilyName>\n"
                            "<GivenName>Tarou</GivenName>\n</Alphabetic>\n<Ideographic>\n"
                            "<FamilyName>山田</FamilyName>\n"),
              std::string::npos)
        << xml.text;
    EXPECT_NE(xml.text.find("<PersonName number=\"2\">\n<Ideographic>\n<FamilyName>Only</FamilyName>"),
              std::string::npos)
        << xml.text;
    EXPECT_NE(xml.text.find(R"(tag="00100010" vr="PN" keyword="PatientName")"), std::string::npos);
}

TEST(ModelBulkData, ValuesPastTheThresholdPointAtTheirBytesInTheFile)
{
    const std::string payload = "0123456789";
    DicomBytes file = DicomBytes::file(explicit_little);
    file.element(0x0009, 0x0010, "LO", "ACME").element(0x0009, 0x1001, "OB", payload);
    file.image(1, 2, 8).element(0x7FE0, 0x0010, "OB", "ab");
    const std::size_t payload_offset = file.bytes().find(payload);

    ReadOptions read;
    read.bulk_threshold = payload.size();
    Written w = json_of(file, read);
    EXPECT_NE(w.text.find(R"("00091001":{"vr":"OB","InlineBinary":"MDEyMzQ1Njc4OQ=="})"), std::string::npos)
        << w.text;
    EXPECT_NE(w.text.find("\"7FE00010\":{\"vr\":\"OB\",\"BulkDataURI\":\"file://"), std::string::npos)
        << "Pixel Data stays in the file without --pixel-data";

    read.bulk_threshold = payload.size() - 1;
    w = json_of(file, read);
    const std::string uri_end =
        "in.dcm#offset=" + std::to_string(payload_offset) + "&length=" + std::to_string(payload.size()) + "\"";
    EXPECT_NE(w.text.find(uri_end), std::string::npos) << w.text;

    read.pixel_data = true;
    w = json_of(file, read, true);
    EXPECT_NE(w.text.find("<InlineBinary>YWI=</InlineBinary>"), std::string::npos) << w.text;
    EXPECT_NE(w.text.find(R"(<DicomAttribute tag="00090001" vr="OB" privateCreator="ACME">)"), std::string::npos)
        << w.text;
}

TEST(ModelSequences, ItemsNestWithTheirCharacterSetsAndEncapsulatedFragmentsKeepTheirItems)
{
    DicomBytes file = DicomBytes::file(explicit_little);
    file.text(0x0008, 0x0005, "CS", "ISO_IR 100").header(0x0008, 0x1140, "SQ").item();
    file.text(0x0008, 0x1150, "UI", "1.2").item_end().item(0).sequence_end();
    file.element(0x0010, 0x0010, "PN", "M\xFCller").encapsulated({"xy"});
    ReadOptions read;
    read.pixel_data = true;
    const Written w = json_of(file, read);
    EXPECT_NE(w.text.find(R"("00081140":{"vr":"SQ","Value":[{"00081150":{"vr":"UI","Value":["1.2"]}},{}]})"),
              std::string::npos)
        << w.text;
    EXPECT_NE(w.text.find(R"({"Alphabetic":"Müller"})"), std::string::npos) << w.text;
    // The offset table item, then the fragment with its header.
    EXPECT_NE(w.text.find(R"("7FE00010":{"vr":"OB","InlineBinary":"/v8A4AAAAAD+/wDgAgAAAHh5"})"),
              std::string::npos)
        << w.text;
}

namespace {

std::string file_text(const std::string& path)
{
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, f)) > 0;) {
            text.append(block, got);
        }
        std::fclose(f);
    }
    return text;
}

} // namespace

TEST(ModelCommand, ACutFileGivesItsElementsAMessageAndExitStatusOne)
{
    DicomBytes file = DicomBytes::file(explicit_little);
    file.text(0x0008, 0x0060, "CS", "OT").element(0x0010, 0x0020, "LO", std::string(40, 'x'));
    const std::string path = write_temp("cut.dcm", file.bytes().substr(0, file.size() - 10));
    EXPECT_EQ(read_data_set(path.c_str(), {}).failure, -2);
    EXPECT_EQ(read_data_set(test_temp_path("missing.dcm").c_str(), {}).failure, -4);

    const std::string out = test_temp_path("out");
    for (const char* model : {"json", "xml"}) {
        const std::string command =
            std::string(VELMOR_DUMP) + " " + model + " " + path + " >" + out + " 2>" + out + ".err";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1) << model;
        const std::string text = file_text(out);
        EXPECT_TRUE(text.find("\"OT\"") != std::string::npos || text.find(">OT<") != std::string::npos)
            << model << ": the element before the cut is written: " << text;
        EXPECT_EQ(text.find("xxxx"), std::string::npos) << model;
        EXPECT_NE(file_text(out + ".err").find("velmor-dump: " + path + ": Unexpected end of file"),
                  std::string::npos)
            << model;
    }
}
