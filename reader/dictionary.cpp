#include "dictionary.h"

#include <algorithm>
#include <array>
#include <vector>

#include "dictionary_names.h"

namespace {

constexpr uint32_t key(uint32_t group, uint32_t element) { return (group << 16) | element; }

// Entries sorted by tag, built once, so that a lookup is a binary search
// rather than a walk over the whole table. The table has no duplicate tags,
// so this gives the same entry as a first-match walk.
const std::vector<const DictEntry*>& sorted_entries()
{
    static const std::vector<const DictEntry*> sorted = [] {
        std::vector<const DictEntry*> v;
        v.reserve(data_dictionary_size);
        for (std::size_t i = 0; i < data_dictionary_size; ++i) {
            v.push_back(&data_dictionary[i]);
        }
        std::stable_sort(v.begin(), v.end(), [](const DictEntry* a, const DictEntry* b) {
            return key(a->group, a->element) < key(b->group, b->element);
        });
        return v;
    }();
    return sorted;
}

} // namespace

const char* registry_name(uint16_t group, uint16_t element)
{
    if (group % 2 != 0) {
        return nullptr;
    }
    const uint32_t wanted = key(group, element);
    const TagName* end = tag_names + tag_names_size;
    const TagName* it =
        std::lower_bound(tag_names, end, wanted, [](const TagName& n, uint32_t k) { return n.tag < k; });
    if (it != end && it->tag == wanted) {
        return it->name;
    }
    for (std::size_t i = 0; i < masked_tag_names_size; ++i) {
        if ((wanted & masked_tag_names[i].mask) == masked_tag_names[i].value) {
            return masked_tag_names[i].name;
        }
    }
    return nullptr;
}

const DictEntry* dictionary_find(uint16_t group, uint16_t element)
{
    const auto& sorted = sorted_entries();
    const uint32_t wanted = key(group, element);
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), wanted,
                                     [](const DictEntry* e, uint32_t k) { return key(e->group, e->element) < k; });
    return it != sorted.end() && key((*it)->group, (*it)->element) == wanted ? *it : nullptr;
}

DictEntry dictionary_lookup(uint16_t group, uint16_t element, int32_t file_vr)
{
    if (const DictEntry* entry = dictionary_find(group, element)) {
        return *entry;
    }
    // A registry tag outside the table gains its name; its VR stays the file's.
    const char* name = registry_name(group, element);
    return {group, element, file_vr, name != nullptr ? name : "Unknown"};
}
