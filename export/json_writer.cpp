#include "export/json_writer.h"

#include "export/values.h"

namespace {

class JsonWriter {
public:
    JsonWriter(const ModelOptions& options, ModelOutput& out, std::vector<ModelWarning>& warnings)
        : options_(options), out_(out), text_(out.text()), warnings_(warnings)
    {
    }

    void data_set(const DataSet& set)
    {
        text_ += '{';
        ++depth_;
        bool first = true;
        for (const DataElement& element : set.elements) {
            if (!first) {
                text_ += ',';
            }
            first = false;
            newline();
            text_ += '"';
            text_ += tag_hex(element.tag);
            text_ += options_.pretty ? "\": " : "\":";
            this->element(element, set.charset.get());
            out_.flush_if_large();
        }
        --depth_;
        if (!first) {
            newline();
        }
        text_ += '}';
    }

private:
    void newline()
    {
        if (options_.pretty) {
            text_ += '\n';
            text_.append(2 * depth_, ' ');
        }
    }

    void key(const char* name)
    {
        text_ += '"';
        text_ += name;
        text_ += options_.pretty ? "\": " : "\":";
    }

    void string(std::string_view value)
    {
        text_ += '"';
        for (const char c : value) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                text_ += '\\';
                text_ += c;
            } else if (u < 0x20) {
                static constexpr char digits[] = "0123456789abcdef";
                text_ += "\\u00";
                text_ += digits[u >> 4];
                text_ += digits[u & 0xF];
            } else {
                text_ += c;
            }
        }
        text_ += '"';
    }

    // A "Value" array; `each` writes item i.
    template <typename Each>
    void value_array(std::size_t count, Each each)
    {
        text_ += ',';
        newline();
        key("Value");
        text_ += '[';
        ++depth_;
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0) {
                text_ += ',';
            }
            newline();
            each(i);
        }
        --depth_;
        newline();
        text_ += ']';
    }

    void element(const DataElement& element, const CharacterSet* charset)
    {
        text_ += '{';
        ++depth_;
        newline();
        key("vr");
        string(vr_text(element.vr));
        switch (value_kind(element.vr)) {
        case ValueKind::text: {
            const auto values = text_values(element, charset);
            if (!values.empty()) {
                value_array(values.size(), [&](std::size_t i) { text_or_null(values[i]); });
            }
            break;
        }
        case ValueKind::number_text: numbers_as_text(element, charset); break;
        case ValueKind::person_name: {
            const auto names = person_names(element, charset);
            if (!names.empty()) {
                value_array(names.size(), [&](std::size_t i) { person_name(names[i]); });
            }
            break;
        }
        case ValueKind::number: {
            const auto numbers = binary_numbers(element);
            if (!numbers.empty()) {
                value_array(numbers.size(), [&](std::size_t i) { text_ += numbers[i]; });
            }
            break;
        }
        case ValueKind::tag: {
            const auto tags = tag_values(element);
            if (!tags.empty()) {
                value_array(tags.size(), [&](std::size_t i) { string(tags[i]); });
            }
            break;
        }
        case ValueKind::sequence:
            if (!element.items.empty()) {
                value_array(element.items.size(), [&](std::size_t i) { data_set(element.items[i]); });
            }
            break;
        case ValueKind::binary: binary(element); break;
        }
        --depth_;
        newline();
        text_ += '}';
    }

    void text_or_null(const std::string& value)
    {
        if (value.empty()) {
            text_ += "null";
        } else {
            string(value);
        }
    }

    void numbers_as_text(const DataElement& element, const CharacterSet* charset)
    {
        const auto values = text_values(element, charset);
        if (values.empty()) {
            return;
        }
        value_array(values.size(), [&](std::size_t i) {
            if (values[i].empty()) {
                text_ += "null";
            } else if (const auto number = number_text(values[i], element.vr == VR_IS)) {
                text_ += *number;
            } else {
                warnings_.push_back({element.tag, values[i]});
                string(values[i]);
            }
        });
    }

    void person_name(const PersonName& name)
    {
        if (name.alphabetic.empty() && name.ideographic.empty() && name.phonetic.empty()) {
            text_ += "null";
            return;
        }
        text_ += '{';
        ++depth_;
        bool first = true;
        const auto group = [&](const char* group_key, const std::string& value) {
            if (value.empty()) {
                return;
            }
            if (!first) {
                text_ += ',';
            }
            first = false;
            newline();
            key(group_key);
            string(value);
        };
        group("Alphabetic", name.alphabetic);
        group("Ideographic", name.ideographic);
        group("Phonetic", name.phonetic);
        --depth_;
        newline();
        text_ += '}';
    }

    void binary(const DataElement& element)
    {
        if (element.in_file || !element.bulk_data_uri.empty()) {
            text_ += ',';
            newline();
            key("BulkDataURI");
            string(element.in_file ? bulk_data_uri(options_.file_path, element) : element.bulk_data_uri);
            return;
        }
        if (element.value.empty()) {
            return;
        }
        text_ += ',';
        newline();
        key("InlineBinary");
        text_ += '"';
        out_.append_base64(element.value);
        text_ += '"';
    }

    const ModelOptions& options_;
    ModelOutput& out_;
    std::string& text_;
    std::vector<ModelWarning>& warnings_;
    std::size_t depth_ = 0;
};

} // namespace

void write_json(const DataSet& data_set, const ModelOptions& options, ModelOutput& out,
                std::vector<ModelWarning>& warnings)
{
    JsonWriter writer(options, out, warnings);
    writer.data_set(data_set);
    out.text() += '\n';
}
