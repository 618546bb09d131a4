#include "pacs/query.h"

std::string date_range(const StudyQuery& query)
{
    if (query.date_from.empty() && query.date_to.empty()) return {};
    if (query.date_from == query.date_to) return query.date_from;
    return query.date_from + "-" + query.date_to;
}
