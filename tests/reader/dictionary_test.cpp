#include "reader/dictionary.h"

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
        const DictEntry* e = dictionary_lookup(c.group, c.element, VR_NONE);
        ASSERT_NE(e, &fallback_entry) << std::hex << c.group << "," << c.element;
        EXPECT_EQ(e->vr, c.vr);
        EXPECT_STREQ(e->description, c.description);
    }
}

TEST(DataDictionary, MissesFillTheFallbackEntry)
{
    const DictEntry* e = dictionary_lookup(0x0009, 0x0010, VR_NONE);
    EXPECT_EQ(e, &fallback_entry);
    EXPECT_EQ(e->group, 0x0009U);
    EXPECT_EQ(e->element, 0x0010U);
    EXPECT_EQ(e->vr, VR_NONE);
    EXPECT_STREQ(e->description, "Unknown");

    e = dictionary_lookup(0x0029, 0x1010, VR_OB);
    EXPECT_EQ(e->vr, VR_OB) << "a miss keeps the VR read from the file";
    EXPECT_EQ(e->group, 0x0029U);
}
