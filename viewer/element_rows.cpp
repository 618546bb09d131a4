#include "viewer/element_rows.h"

#include "reader/vr.h"

namespace {

constexpr uint32_t undefined_length = 0xFFFFFFFF;
constexpr uint16_t delimiter_group = 0xFFFE;

} // namespace

ElementRowBuilder::ElementRowBuilder(std::vector<ElementRow>& rows) : rows_(rows) {}

void ElementRowBuilder::add(uint16_t group, uint16_t element, uint16_t vr, uint32_t value_length,
                            int64_t walk_length, int64_t header_offset, int64_t value_offset)
{
    close_ended(header_offset);
    ElementRow row;
    row.tag = (uint32_t{group} << 16) | element;
    row.vr = vr;
    row.header_offset = header_offset;
    row.value_offset = value_offset;
    row.value_length = walk_length;
    row.depth = static_cast<int32_t>(open_.size());
    row.parent = parent();
    const auto index = static_cast<int32_t>(rows_.size());

    const bool item = group == delimiter_group && element == 0xE000;
    const bool item_end = group == delimiter_group && element == 0xE00D;
    const bool sequence_end = group == delimiter_group && element == 0xE0DD;
    if (item_end || sequence_end) {
        row.kind = item_end ? RowKind::item_end : RowKind::sequence_end;
        // The delimiter is the last child of what it closes.
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].item == item_end) {
                row.parent = open_[i].row;
                row.depth = static_cast<int32_t>(i) + 1;
                break;
            }
        }
        rows_.push_back(row);
        close_until(item_end, row.end_offset());
        return;
    }
    // An element of undefined length can only hold items (Pixel Data's
    // fragments end the walk): the walk enters it as it enters a sequence.
    const bool undefined_element =
        value_length == undefined_length && group != delimiter_group && !(group == 0x7FE0 && element == 0x0010);
    if (item || vr == VR_SQ || undefined_element) {
        row.kind = item ? RowKind::item : RowKind::sequence;
        if (item) {
            row.item_index = open_.empty() ? top_items_++ : open_.back().items++;
        }
        Open scope;
        scope.row = index;
        scope.item = item;
        scope.bounded = value_length != undefined_length;
        scope.end = value_offset + (scope.bounded ? int64_t{value_length} : 0);
        if (scope.bounded) {
            row.value_length = value_length;
        }
        open_.push_back(scope);
    }
    rows_.push_back(row);
}

void ElementRowBuilder::finish(int64_t offset)
{
    close_ended(offset);
    while (!open_.empty()) {
        close(offset);
    }
}

void ElementRowBuilder::close_ended(int64_t offset)
{
    while (!open_.empty() && open_.back().bounded && offset >= open_.back().end) {
        close(offset);
    }
}

void ElementRowBuilder::close(int64_t offset)
{
    const Open& scope = open_.back();
    if (!scope.bounded) {
        ElementRow& row = rows_[static_cast<std::size_t>(scope.row)];
        row.value_length = offset > row.value_offset ? offset - row.value_offset : 0;
    }
    open_.pop_back();
}

void ElementRowBuilder::close_until(bool item, int64_t offset)
{
    for (std::size_t i = open_.size(); i-- > 0;) {
        if (open_[i].item == item) {
            while (open_.size() > i) {
                close(offset);
            }
            return;
        }
    }
}
