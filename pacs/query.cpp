#include "pacs/query.h"

#include <charconv>
#include <string_view>

std::string date_range(const StudyQuery& query)
{
    if (query.date_from.empty() && query.date_to.empty()) return {};
    if (query.date_from == query.date_to) return query.date_from;
    return query.date_from + "-" + query.date_to;
}

namespace {

int count_of(const std::string& text)
{
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ')
        digits.remove_suffix(1);
    long count = -1;
    const auto [end, code] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    const bool whole = code == std::errc() && end == digits.data() + digits.size();
    return whole && count >= 0 && count <= 1'000'000'000 ? static_cast<int>(count) : -1;
}

} // namespace

StudyRow study_row(const AnswerText& text)
{
    StudyRow row;
    row.study_uid = text(0x0020000D);
    row.patient_name = text(0x00100010);
    row.patient_id = text(0x00100020);
    row.date = text(0x00080020);
    row.description = text(0x00081030);
    row.accession_number = text(0x00080050);
    row.modalities = text(0x00080061);
    row.series_count = count_of(text(0x00201206));
    row.instance_count = count_of(text(0x00201208));
    return row;
}

SeriesRow series_row(const AnswerText& text)
{
    SeriesRow row;
    row.study_uid = text(0x0020000D);
    row.series_uid = text(0x0020000E);
    row.modality = text(0x00080060);
    row.number = text(0x00200011);
    row.description = text(0x0008103E);
    row.instance_count = count_of(text(0x00201209));
    return row;
}
