#include "reader/dictionary.h"
#include "reader/dictionary_keywords.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(DataDictionary, HoldsEveryEntryOnceWithAnEndMark)
{
    EXPECT_EQ(data_dictionary_size, 719U);
    const DictEntry& end = data_dictionary[data_dictionary_size];
    EXPECT_EQ(end.vr, VR_NONE);
    EXPECT_EQ(end.description, nullptr);
    std::set<uint32_t> tags;
    for (std::size_t i = 0; i < data_dictionary_size; ++i) {
        EXPECT_NE(data_dictionary[i].vr, VR_NONE) << i;
        EXPECT_TRUE(tags.insert((data_dictionary[i].group << 16) | data_dictionary[i].element).second) << i;
        EXPECT_EQ(data_dictionary[i].group % 2, 0U) << "no private groups";
    }
}

TEST(DataDictionary, FindsKnownTags)
{
    struct Case {
        uint16_t group, element;
        int32_t vr;
        const char* description;
    };
    const Case cases[] = {
        {0x0010, 0x0010, VR_PN, "Patient's Name"},    {0x0008, 0x0000, VR_UL, "Group 0008 Length"},
        {0x0054, 0x0000, VR_UL, "Group Length"},      {0x0018, 0x1130, VR_DS, "Table Height"},
        {0x0018, 0x1030, VR_LO, "Protocol Name"},     {0xFFFE, 0xE000, VR_DL, "Item"},
        {0x7FE0, 0x0010, VR_OX, "Pixel Data"},        {0x0018, 0x6036, VR_FD, "Sterring Angle"},
        {0x0028, 0x3004, VR_LO, "Madality LUT Type"}, {0x0032, 0x1030, VR_LO, "Reason  for Study"},
    };
    for (const Case& c : cases) {
        const DictEntry* e = dictionary_find(c.group, c.element);
        ASSERT_NE(e, nullptr) << std::hex << c.group << "," << c.element;
        EXPECT_EQ(e->vr, c.vr);
        EXPECT_STREQ(e->description, c.description);
    }
}

TEST(DataDictionary, MissesGiveTheTagWithTheFilesVr)
{
    EXPECT_EQ(dictionary_find(0x0009, 0x0010), nullptr);
    DictEntry e = dictionary_lookup(0x0009, 0x0010, VR_NONE);
    EXPECT_EQ(e.group, 0x0009U);
    EXPECT_EQ(e.element, 0x0010U);
    EXPECT_EQ(e.vr, VR_NONE);
    EXPECT_STREQ(e.description, "Unknown");

    e = dictionary_lookup(0x0029, 0x1010, VR_OB);
    EXPECT_EQ(e.vr, VR_OB) << "a miss keeps the VR read from the file";
    EXPECT_EQ(e.group, 0x0029U);
}

namespace {

// FNV-1a over every entry's group, element, VR and description.
uint64_t table_fingerprint()
{
    uint64_t h = 14695981039346656037ULL;
    const auto mix = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ULL;
        }
    };
    for (std::size_t i = 0; i < data_dictionary_size; ++i) {
        const DictEntry& e = data_dictionary[i];
        mix(e.group);
        mix(e.element);
        mix(static_cast<uint32_t>(e.vr));
        for (const char* p = e.description; *p != '\0'; ++p) {
            mix(static_cast<unsigned char>(*p));
        }
    }
    return h;
}

} // namespace

TEST(DataDictionary, TheOriginalEntriesStayExactlyAsTheyWere)
{
    EXPECT_EQ(table_fingerprint(), 0x5E59595E70C3F11BULL) << std::hex << table_fingerprint();
    for (std::size_t i = 0; i < data_dictionary_size; ++i) {
        const DictEntry& e = data_dictionary[i];
        EXPECT_EQ(dictionary_find(static_cast<uint16_t>(e.group), static_cast<uint16_t>(e.element)), &e)
            << "the registry names never shadow entry " << i;
    }
}

TEST(DataDictionary, RegistryTagsOutsideTheTableGainOnlyTheirName)
{
    struct Case {
        uint16_t group, element;
        const char* description;
    };
    const Case cases[] = {
        {0x0008, 0x002A, "Acquisition DateTime"},
        {0x0018, 0x1164, "Imager Pixel Spacing"},
        {0x0040, 0xA730, "Content Sequence"},
        {0x0000, 0x0800, "Data Set Type"}, // an original entry keeps its own
        {0x6002, 0x0010, "Overlay Rows"},  // repeating groups: every even group
        {0x60FE, 0x3000, "Overlay Data"},
        {0x5010, 0x0005, "Curve Dimensions"},
        {0x0020, 0x3105, "Source Image IDs"}, // a repeating element
        {0x6001, 0x0010, "Unknown"},          // an odd group is private
        {0x0009, 0x1010, "Unknown"},
        {0x0008, 0x0003, "Unknown"},
    };
    for (const Case& c : cases) {
        const DictEntry e = dictionary_lookup(c.group, c.element, VR_LO);
        EXPECT_STREQ(e.description, c.description) << std::hex << c.group << "," << c.element;
        if (dictionary_find(c.group, c.element) == nullptr) {
            EXPECT_EQ(e.vr, VR_LO) << "the VR stays the one the file gives";
        }
    }
    EXPECT_EQ(dictionary_lookup(0x0008, 0x002A, VR_NONE).vr, VR_NONE);
}

TEST(Keywords, TagsAndKeywordsBothWays)
{
    struct Case {
        uint32_t tag;
        const char* keyword;
    };
    const Case cases[] = {
        {0x00100010, "PatientName"},          {0x7FE00010, "PixelData"},
        {0x00080005, "SpecificCharacterSet"}, {0x00000000, "CommandGroupLength"},
        {0x00020010, "TransferSyntaxUID"},    {0x30060039, "ROIContourSequence"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(keyword_of_tag(c.tag), c.keyword) << std::hex << c.tag;
        EXPECT_EQ(tag_of_keyword(c.keyword), c.tag) << c.keyword;
    }
    // Every keyword of the table leads back to a tag that has it.
    for (std::size_t i = 0; i < keyword_tags_size; ++i) {
        EXPECT_STREQ(keyword_of_tag(keyword_tags[i].tag), keyword_tags[i].keyword) << keyword_tags[i].keyword;
    }
}

TEST(Keywords, RepeatingGroupsPrivateTagsAndUnknownKeywords)
{
    EXPECT_STREQ(keyword_of_tag(0x60023000), "OverlayData");
    EXPECT_STREQ(keyword_of_tag(0x50100010), "NumberOfPoints"); // curve group 50xx
    EXPECT_EQ(tag_of_keyword("OverlayData"), 0x60003000U);
    EXPECT_EQ(keyword_of_tag(0x00091010), nullptr) << "private";
    EXPECT_EQ(keyword_of_tag(0x00100011), nullptr) << "not in the registry";
    EXPECT_EQ(tag_of_keyword("patientname"), std::nullopt) << "case-sensitive";
    EXPECT_EQ(tag_of_keyword(""), std::nullopt);
    EXPECT_EQ(tag_of_keyword("PatientNameX"), std::nullopt);
}
