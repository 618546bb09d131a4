#include "reader/vr_table.h"

#include <gtest/gtest.h>

#include <string>

#include "reader_support.h"

using testing_dicom::LogCapture;

namespace {

const VrTableEntry* lookup(uint16_t group, uint16_t element)
{
    const uint16_t tag[2] = {group, element};
    return dicom_private(vr_lookup_table, tag);
}

} // namespace

TEST(VrLookupTable, HoldsTheSequencesThenTheCatchAll)
{
    int entries = 0;
    const VrTableEntry* entry = vr_lookup_table;
    for (; entry->group_first != 0xFFFF; ++entry) {
        EXPECT_EQ(entry->vr, VR_SQ) << entry->name;
        ++entries;
    }
    EXPECT_EQ(entries, 303);
    EXPECT_EQ(entry->vr, VR_UN);
    EXPECT_STREQ(entry->name, "Unknown");
}

TEST(VrLookupTable, AnswersSequencesAndUnknownTags)
{
    EXPECT_EQ(lookup(0x0008, 0x1140)->vr, VR_SQ);
    EXPECT_STREQ(lookup(0x0008, 0x1140)->name, "ReferencedImageSequence");
    EXPECT_EQ(lookup(0xFFFA, 0xFFFA)->vr, VR_SQ);
    EXPECT_EQ(lookup(0x0004, 0x1220)->vr, VR_SQ);
    EXPECT_EQ(lookup(0x0028, 0x0010)->vr, VR_UN);
    EXPECT_STREQ(lookup(0x0028, 0x0010)->name, "Unknown");
    EXPECT_EQ(lookup(0xFFFE, 0xE000)->vr, VR_UN);
    EXPECT_EQ(lookup(0xFFFF, 0xFFFF)->vr, VR_UN);
}

TEST(VrLookupTable, RangeEntryMatchesEvenGroupsOnly)
{
    EXPECT_EQ(lookup(0x5000, 0x2600)->vr, VR_SQ);
    EXPECT_EQ(lookup(0x5002, 0x2600)->vr, VR_SQ);
    EXPECT_EQ(lookup(0x50FE, 0x2600)->vr, VR_SQ);
    EXPECT_EQ(lookup(0x5001, 0x2600)->vr, VR_UN);
    EXPECT_EQ(lookup(0x5100, 0x2600)->vr, VR_UN);
    EXPECT_EQ(lookup(0x5002, 0x2601)->vr, VR_UN);
}

TEST(VrLookupTable, ParityRulesOfEachKind)
{
    const VrTableEntry table[] = {
        {0x0010, 0x0020, 1, 0x0001, 0x0009, 0, VR_SQ, "odd groups, even elements"},
        {0x0010, 0x0020, 0, 0x0001, 0x0009, 7, VR_OB, "even groups, any element"},
        {0xFFFF, 0xFFFF, 2, 0xFFFF, 0xFFFF, 2, VR_UN, "Unknown"},
    };
    const auto vr_of = [&](uint16_t g, uint16_t e) {
        const uint16_t tag[2] = {g, e};
        return dicom_private(table, tag)->vr;
    };
    EXPECT_EQ(vr_of(0x0011, 0x0002), VR_SQ);
    EXPECT_EQ(vr_of(0x0011, 0x0003), VR_UN);
    EXPECT_EQ(vr_of(0x0012, 0x0003), VR_OB);
    EXPECT_EQ(vr_of(0x0012, 0x000A), VR_UN);
    EXPECT_EQ(vr_of(0x0021, 0x0002), VR_UN);
}

TEST(VrLookupTable, MissingArgumentsAreErrors)
{
    LogCapture log;
    const uint16_t tag[2] = {0x0008, 0x1140};
    EXPECT_EQ(dicom_private(nullptr, tag), nullptr);
    EXPECT_EQ(dicom_private(vr_lookup_table, nullptr), nullptr);
    const std::vector<std::string> expected = {
        "debug: dicom_private()",
        "error: No dictionary given",
        "debug: dicom_private()",
        "error: No element given",
    };
    EXPECT_EQ(log.lines(), expected);
}
