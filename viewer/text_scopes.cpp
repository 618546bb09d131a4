#include "text_scopes.h"

#include "reader/vr.h"

namespace {

constexpr uint32_t undefined_length = 0xFFFFFFFF;

} // namespace

void TextScopes::reset() { scopes_.assign(1, Scope{}); }

void TextScopes::enter(uint16_t group, uint16_t element, int32_t vr, uint32_t value_length, int64_t element_start,
                       int64_t value_start)
{
    while (scopes_.size() > 1 && scopes_.back().bounded && element_start >= scopes_.back().end) {
        scopes_.pop_back();
    }
    if (group == 0xFFFE) {
        if (element == 0xE000) {
            open(true, value_length, value_start);
        } else if (element == 0xE00D) {
            close_until(true);
        } else if (element == 0xE0DD) {
            close_until(false);
        }
        return;
    }
    if (vr == VR_SQ) {
        open(false, value_length, value_start);
    }
}

void TextScopes::declare(std::string_view value)
{
    const std::optional<CharacterSet> set = CharacterSet::from_value(value);
    scopes_.back().charset = set ? std::make_shared<const CharacterSet>(*set) : nullptr;
}

void TextScopes::open(bool item, uint32_t value_length, int64_t value_start)
{
    if (scopes_.size() >= max_depth) {
        return;
    }
    Scope scope;
    scope.item = item;
    scope.bounded = value_length != undefined_length;
    scope.end = value_start + value_length;
    scope.charset = scopes_.back().charset;
    scopes_.push_back(std::move(scope));
}

void TextScopes::close_until(bool item)
{
    // A delimiter closes the innermost item (or sequence) and what it holds;
    // one without a matching open scope changes nothing.
    for (std::size_t i = scopes_.size(); i-- > 1;) {
        if (scopes_[i].item == item) {
            scopes_.resize(i);
            return;
        }
    }
}
