#include "export/xml_writer.h"

#include <algorithm>

#include "export/values.h"
#include "reader/dictionary_keywords.h"

namespace {

constexpr const char* name_components[] = {"FamilyName", "GivenName", "MiddleName", "NamePrefix", "NameSuffix"};

class XmlWriter {
public:
    XmlWriter(const ModelOptions& options, ModelOutput& out) : options_(options), out_(out), text_(out.text()) {}

    void data_set(const DataSet& set)
    {
        for (const DataElement& element : set.elements) {
            attribute(element, set);
            out_.flush_if_large();
        }
    }

private:
    // Text with the markup characters escaped; characters XML 1.0 cannot
    // hold (controls other than tab, line feed and carriage return) become
    // U+FFFD.
    void escaped(std::string_view value)
    {
        for (const char c : value) {
            switch (c) {
            case '&': text_ += "&amp;"; break;
            case '<': text_ += "&lt;"; break;
            case '>': text_ += "&gt;"; break;
            case '"': text_ += "&quot;"; break;
            case '\r': text_ += "&#13;"; break; // a parser would read a bare one as a line feed
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    text_ += "\xEF\xBF\xBD";
                } else {
                    text_ += c;
                }
            }
        }
    }

    void value(std::size_t number, std::string_view content, bool raw = false)
    {
        text_ += "<Value number=\"";
        text_ += std::to_string(number);
        text_ += "\">";
        if (raw) {
            text_ += content;
        } else {
            escaped(content);
        }
        text_ += "</Value>\n";
    }

    // The private creator of a private element: the (gggg,00xx) value that
    // reserves its block, when the data set has it.
    static const DataElement* private_creator(const DataElement& element, const DataSet& set)
    {
        const uint32_t group = element.tag >> 16;
        const uint32_t block = (element.tag >> 8) & 0xFF;
        if (group % 2 == 0 || block < 0x10) {
            return nullptr;
        }
        const uint32_t creator_tag = (group << 16) | block;
        // The elements are in tag order (see data_set.h).
        const auto it = std::lower_bound(set.elements.begin(), set.elements.end(), creator_tag,
                                         [](const DataElement& e, uint32_t tag) { return e.tag < tag; });
        return it != set.elements.end() && it->tag == creator_tag ? &*it : nullptr;
    }

    void attribute(const DataElement& element, const DataSet& set)
    {
        const CharacterSet* charset = set.charset.get();
        // A private element is named by its creator and its tag without the
        // block number: (0009,1001) of "CREATOR" is 00090001.
        std::vector<std::string> creator;
        if (const DataElement* creator_element = private_creator(element, set)) {
            creator = text_values(*creator_element, charset);
        }
        text_ += "<DicomAttribute tag=\"";
        text_ += tag_hex(creator.empty() ? element.tag : element.tag & 0xFFFF00FF);
        text_ += "\" vr=\"";
        text_ += vr_text(element.vr);
        text_ += '"';
        if (const char* keyword = keyword_of_tag(element.tag)) {
            text_ += " keyword=\"";
            text_ += keyword;
            text_ += '"';
        } else if (!creator.empty()) {
            text_ += " privateCreator=\"";
            escaped(creator[0]);
            text_ += '"';
        }
        text_ += ">\n";
        switch (value_kind(element.vr)) {
        case ValueKind::text:
        case ValueKind::number_text: {
            const auto values = text_values(element, charset);
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (!values[i].empty()) {
                    value(i + 1, values[i]);
                }
            }
            break;
        }
        case ValueKind::person_name: {
            const auto names = person_names(element, charset);
            for (std::size_t i = 0; i < names.size(); ++i) {
                person_name(i + 1, names[i]);
            }
            break;
        }
        case ValueKind::number: {
            const auto numbers = binary_numbers(element);
            for (std::size_t i = 0; i < numbers.size(); ++i) {
                value(i + 1, numbers[i] == "null" ? "NaN" : numbers[i], true);
            }
            break;
        }
        case ValueKind::tag: {
            const auto tags = tag_values(element);
            for (std::size_t i = 0; i < tags.size(); ++i) {
                value(i + 1, tags[i], true);
            }
            break;
        }
        case ValueKind::sequence:
            for (std::size_t i = 0; i < element.items.size(); ++i) {
                text_ += "<Item number=\"" + std::to_string(i + 1) + "\">\n";
                data_set(element.items[i]);
                text_ += "</Item>\n";
            }
            break;
        case ValueKind::binary: binary(element); break;
        }
        text_ += "</DicomAttribute>\n";
    }

    void person_name(std::size_t number, const PersonName& name)
    {
        text_ += "<PersonName number=\"" + std::to_string(number) + "\">\n";
        group("Alphabetic", name.alphabetic);
        group("Ideographic", name.ideographic);
        group("Phonetic", name.phonetic);
        text_ += "</PersonName>\n";
    }

    void group(const char* tag, std::string_view value)
    {
        if (value.empty()) {
            return;
        }
        text_ += '<';
        text_ += tag;
        text_ += ">\n";
        std::size_t component = 0;
        std::size_t start = 0;
        while (component < std::size(name_components)) {
            const std::size_t caret = value.find('^', start);
            const std::string_view part =
                value.substr(start, caret == std::string_view::npos ? std::string_view::npos : caret - start);
            if (!part.empty()) {
                text_ += '<';
                text_ += name_components[component];
                text_ += '>';
                escaped(part);
                text_ += "</";
                text_ += name_components[component];
                text_ += ">\n";
            }
            if (caret == std::string_view::npos) {
                break;
            }
            start = caret + 1;
            ++component;
        }
        text_ += "</";
        text_ += tag;
        text_ += ">\n";
    }

    void binary(const DataElement& element)
    {
        if (element.in_file || !element.bulk_data_uri.empty()) {
            text_ += "<BulkData uri=\"";
            escaped(element.in_file ? bulk_data_uri(options_.file_path, element) : element.bulk_data_uri);
            text_ += "\"/>\n";
        } else if (!element.value.empty()) {
            text_ += "<InlineBinary>";
            out_.append_base64(element.value);
            text_ += "</InlineBinary>\n";
        }
    }

    const ModelOptions& options_;
    ModelOutput& out_;
    std::string& text_;
};

} // namespace

void write_xml(const DataSet& data_set, const ModelOptions& options, ModelOutput& out)
{
    out.text() += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NativeDicomModel xml:space=\"preserve\">\n";
    XmlWriter writer(options, out);
    writer.data_set(data_set);
    out.text() += "</NativeDicomModel>\n";
}
