#include <algorithm>

#include "reader/dictionary_keywords.h"
#include "reader/dictionary_vrs.h"

const char* keyword_of_tag(uint32_t tag)
{
    if ((tag >> 16) % 2 != 0) {
        return nullptr;
    }
    const TagKeyword* end = tag_keywords + tag_keywords_size;
    const TagKeyword* it = std::lower_bound(tag_keywords, end, tag,
                                            [](const TagKeyword& k, uint32_t wanted) { return k.tag < wanted; });
    if (it != end && it->tag == tag) {
        return it->keyword;
    }
    for (std::size_t i = 0; i < masked_tag_keywords_size; ++i) {
        if ((tag & masked_tag_keywords[i].mask) == masked_tag_keywords[i].value) {
            return masked_tag_keywords[i].keyword;
        }
    }
    return nullptr;
}

std::optional<uint32_t> tag_of_keyword(std::string_view keyword)
{
    const TagKeyword* end = keyword_tags + keyword_tags_size;
    const TagKeyword* it =
        std::lower_bound(keyword_tags, end, keyword,
                         [](const TagKeyword& k, std::string_view w) { return std::string_view(k.keyword) < w; });
    if (it != end && std::string_view(it->keyword) == keyword) {
        return it->tag;
    }
    return std::nullopt;
}

int32_t registry_vr(uint32_t tag)
{
    if ((tag >> 16) % 2 != 0) {
        return VR_NONE;
    }
    const TagVr* end = tag_vrs + tag_vrs_size;
    const TagVr* it =
        std::lower_bound(tag_vrs, end, tag, [](const TagVr& v, uint32_t wanted) { return v.tag < wanted; });
    if (it != end && it->tag == tag) {
        return it->vr;
    }
    for (std::size_t i = 0; i < masked_tag_vrs_size; ++i) {
        if ((tag & masked_tag_vrs[i].mask) == masked_tag_vrs[i].value) {
            return masked_tag_vrs[i].vr;
        }
    }
    return VR_NONE;
}
