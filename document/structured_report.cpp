#include "document/structured_report.h"

#include <cstdint>

#include "document/data_set_lookup.h"
#include "export/values.h"

namespace {

// Content items.
constexpr uint32_t relationship_type_tag = 0x0040A010;
constexpr uint32_t value_type_tag = 0x0040A040;
constexpr uint32_t concept_name_tag = 0x0040A043;
constexpr uint32_t content_sequence_tag = 0x0040A730;
constexpr uint32_t observation_datetime_tag = 0x0040A032;
constexpr uint32_t referenced_item_tag = 0x0040DB73;
// Values.
constexpr uint32_t continuity_tag = 0x0040A050;
constexpr uint32_t text_value_tag = 0x0040A160;
constexpr uint32_t concept_code_tag = 0x0040A168;
constexpr uint32_t measured_value_tag = 0x0040A300;
constexpr uint32_t numeric_value_tag = 0x0040A30A;
constexpr uint32_t units_tag = 0x004008EA;
constexpr uint32_t qualifier_tag = 0x0040A301;
constexpr uint32_t datetime_tag = 0x0040A120;
constexpr uint32_t date_tag = 0x0040A121;
constexpr uint32_t time_tag = 0x0040A122;
constexpr uint32_t person_name_tag = 0x0040A123;
constexpr uint32_t uid_tag = 0x0040A124;
constexpr uint32_t referenced_sop_tag = 0x00081199;
constexpr uint32_t referenced_class_tag = 0x00081150;
constexpr uint32_t referenced_instance_tag = 0x00081155;
constexpr uint32_t referenced_frames_tag = 0x00081160;
constexpr uint32_t referenced_segments_tag = 0x0062000B;
constexpr uint32_t referenced_channels_tag = 0x0040A0B0;
constexpr uint32_t graphic_data_tag = 0x00700022;
constexpr uint32_t graphic_type_tag = 0x00700023;
constexpr uint32_t frame_of_reference_tag = 0x30060024;
constexpr uint32_t temporal_range_type_tag = 0x0040A130;
constexpr uint32_t sample_positions_tag = 0x0040A132;
constexpr uint32_t time_offsets_tag = 0x0040A138;
constexpr uint32_t referenced_datetimes_tag = 0x0040A13A;
// Codes.
constexpr uint32_t code_value_tag = 0x00080100;
constexpr uint32_t scheme_tag = 0x00080102;
constexpr uint32_t code_meaning_tag = 0x00080104;
constexpr uint32_t long_code_value_tag = 0x00080119;
constexpr uint32_t urn_code_value_tag = 0x00080120;
constexpr uint32_t sop_class_tag = 0x00080016;

// Every value of an element as text: decoded strings, or numbers for the
// binary numeric VRs.
std::vector<std::string> all_values(const DataSet& set, uint32_t tag)
{
    const DataElement* element = find_element(set, tag);
    if (element == nullptr || element->in_file || element->is_sequence) {
        return {};
    }
    switch (value_kind(element->vr)) {
    case ValueKind::number: return binary_numbers(*element);
    case ValueKind::person_name: {
        std::vector<std::string> names;
        for (const PersonName& name : person_names(*element, set.charset.get())) {
            std::string text = name.alphabetic;
            if (!name.ideographic.empty() || !name.phonetic.empty()) {
                text += "=" + name.ideographic;
            }
            if (!name.phonetic.empty()) {
                text += "=" + name.phonetic;
            }
            names.push_back(std::move(text));
        }
        return names;
    }
    case ValueKind::text:
    case ValueKind::number_text: return text_values(*element, set.charset.get());
    case ValueKind::tag:
    case ValueKind::binary:
    case ValueKind::sequence: break;
    }
    return {};
}

CodedEntry coded_entry(const DataSet* item)
{
    CodedEntry code;
    if (item == nullptr) {
        return code;
    }
    code.value = first_text(*item, code_value_tag);
    if (code.value.empty()) {
        code.value = first_text(*item, long_code_value_tag);
    }
    if (code.value.empty()) {
        code.value = first_text(*item, urn_code_value_tag);
    }
    code.scheme = first_text(*item, scheme_tag);
    code.meaning = first_text(*item, code_meaning_tag);
    return code;
}

ObjectReference object_reference(const DataSet& set)
{
    ObjectReference object;
    const DataSet* sop = first_item(set, referenced_sop_tag);
    if (sop == nullptr) {
        return object;
    }
    object.sop_class = first_text(*sop, referenced_class_tag);
    object.sop_instance = first_text(*sop, referenced_instance_tag);
    object.frames = all_values(*sop, referenced_frames_tag);
    object.segments = all_values(*sop, referenced_segments_tag);
    const std::vector<std::string> channels = all_values(*sop, referenced_channels_tag);
    for (std::size_t i = 0; i + 1 < channels.size(); i += 2) {
        object.channels.push_back(channels[i] + "/" + channels[i + 1]);
    }
    if (const DataSet* state = first_item(*sop, referenced_sop_tag)) {
        object.presentation_class = first_text(*state, referenced_class_tag);
        object.presentation_instance = first_text(*state, referenced_instance_tag);
    }
    return object;
}

void read_value(const DataSet& set, ContentItem& item)
{
    const std::string& type = item.value_type;
    if (type == "CONTAINER") {
        item.text = first_text(set, continuity_tag);
    } else if (type == "TEXT") {
        item.text = first_text(set, text_value_tag);
    } else if (type == "CODE") {
        item.code = coded_entry(first_item(set, concept_code_tag));
    } else if (type == "NUM") {
        if (const DataSet* measured = first_item(set, measured_value_tag)) {
            item.text = first_text(*measured, numeric_value_tag);
            item.code = coded_entry(first_item(*measured, units_tag));
        }
        item.qualifier = coded_entry(first_item(set, qualifier_tag));
    } else if (type == "DATETIME") {
        item.text = first_text(set, datetime_tag);
    } else if (type == "DATE") {
        item.text = first_text(set, date_tag);
    } else if (type == "TIME") {
        item.text = first_text(set, time_tag);
    } else if (type == "UIDREF") {
        item.text = first_text(set, uid_tag);
    } else if (type == "PNAME") {
        const std::vector<std::string> names = all_values(set, person_name_tag);
        item.text = names.empty() ? std::string() : names.front();
    } else if (type == "COMPOSITE" || type == "IMAGE" || type == "WAVEFORM") {
        item.object = object_reference(set);
    } else if (type == "SCOORD" || type == "SCOORD3D") {
        item.text = first_text(set, graphic_type_tag);
        item.numbers = all_values(set, graphic_data_tag);
        item.frame_of_reference = first_text(set, frame_of_reference_tag);
    } else if (type == "TCOORD") {
        item.text = first_text(set, temporal_range_type_tag);
        const std::pair<uint32_t, const char*> positions[] = {{sample_positions_tag, "samples"},
                                                              {time_offsets_tag, "offsets"},
                                                              {referenced_datetimes_tag, "datetimes"}};
        for (const auto& [tag, name] : positions) {
            if (find_element(set, tag) != nullptr) {
                item.numbers = all_values(set, tag);
                item.numbers_name = name;
                break;
            }
        }
    }
}

ContentItem content_item(const DataSet& set)
{
    ContentItem item;
    item.relationship = first_text(set, relationship_type_tag);
    item.value_type = first_text(set, value_type_tag);
    item.concept_name = coded_entry(first_item(set, concept_name_tag));
    item.observation_datetime = first_text(set, observation_datetime_tag);
    if (item.value_type.empty()) {
        item.referenced = all_values(set, referenced_item_tag);
    } else {
        read_value(set, item);
    }
    if (const DataElement* content = find_element(set, content_sequence_tag); content && content->is_sequence) {
        item.children.reserve(content->items.size());
        for (const DataSet& child : content->items) {
            item.children.push_back(content_item(child));
        }
    }
    return item;
}

} // namespace

ReportLookup read_structured_report(const DataSet& set)
{
    ReportLookup lookup;
    if (first_text(set, value_type_tag).empty()) {
        lookup.error = "The file holds no structured report (no Value Type (0040,A040) at the top level)";
        return lookup;
    }
    lookup.report.sop_class = first_text(set, sop_class_tag);
    lookup.report.root = content_item(set);
    lookup.report.root.relationship.clear();
    return lookup;
}

ReportLookup read_structured_report(const char* path)
{
    ReadOptions options;
    options.bulk_threshold = UINT64_MAX;
    const ReadResult read = read_data_set(path, options);
    if (read.failure == -4 || read.failure == -5 || read.failure == -6) {
        return {{}, read_failure_text(read.failure)};
    }
    ReportLookup lookup = read_structured_report(read.data_set);
    if (!lookup.error.empty() && read.failure != 0) {
        lookup.error = read_failure_text(read.failure);
    }
    lookup.read_failure = read.failure;
    return lookup;
}
