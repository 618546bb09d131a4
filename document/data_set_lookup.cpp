#include "document/data_set_lookup.h"

#include <algorithm>
#include <vector>

#include "export/values.h"

const DataElement* find_element(const DataSet& set, uint32_t tag)
{
    const auto at = std::lower_bound(set.elements.begin(), set.elements.end(), tag,
                                     [](const DataElement& e, uint32_t wanted) { return e.tag < wanted; });
    return at != set.elements.end() && at->tag == tag ? &*at : nullptr;
}

const DataSet* first_item(const DataSet& set, uint32_t tag)
{
    const DataElement* element = find_element(set, tag);
    return element != nullptr && element->is_sequence && !element->items.empty() ? &element->items.front()
                                                                                 : nullptr;
}

std::string first_text(const DataSet& set, uint32_t tag)
{
    const DataElement* element = find_element(set, tag);
    if (element == nullptr || element->in_file || value_kind(element->vr) == ValueKind::binary ||
        element->is_sequence) {
        return {};
    }
    std::vector<std::string> values = text_values(*element, set.charset.get());
    return values.empty() ? std::string() : std::move(values.front());
}
