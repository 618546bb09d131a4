#include "document/report_lines.h"

#include <cstdio>
#include <string_view>

namespace {

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[5];
                std::snprintf(escaped, sizeof escaped, "\\x%02X",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string coded(const CodedEntry& code)
{
    return "(" + code.value + ", " + code.scheme + ", " + quoted(code.meaning) + ")";
}

std::string joined(const std::vector<std::string>& values, std::string_view separator)
{
    std::string out;
    for (const std::string& value : values) {
        if (!out.empty()) {
            out += separator;
        }
        out += value;
    }
    return out;
}

// Graphic data as points: x/y (or x/y/z) pairs separated by commas.
std::string points(const std::vector<std::string>& numbers, std::size_t per_point)
{
    std::string out;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        out += i == 0 ? "" : (i % per_point == 0 ? ", " : "/");
        out += numbers[i];
    }
    return out;
}

std::string object_text(const ObjectReference& object)
{
    std::string out = "(" + object.sop_class + ", " + object.sop_instance + ")";
    if (!object.frames.empty()) {
        out += " frames " + joined(object.frames, ",");
    }
    if (!object.segments.empty()) {
        out += " segments " + joined(object.segments, ",");
    }
    if (!object.channels.empty()) {
        out += " channels " + joined(object.channels, ",");
    }
    if (!object.presentation_class.empty() || !object.presentation_instance.empty()) {
        out += " presentation (" + object.presentation_class + ", " + object.presentation_instance + ")";
    }
    return out;
}

std::string value_text(const ContentItem& item)
{
    const std::string& type = item.value_type;
    if (type == "CONTAINER") {
        return item.text.empty() ? std::string() : " [" + item.text + "]";
    }
    if (type == "TEXT" || type == "DATETIME" || type == "DATE" || type == "TIME" || type == "UIDREF" ||
        type == "PNAME") {
        return " = " + quoted(item.text);
    }
    if (type == "CODE") {
        return " = " + coded(item.code);
    }
    if (type == "NUM") {
        if (item.text.empty()) {
            return " = no value" + (item.qualifier.empty() ? std::string() : " " + coded(item.qualifier));
        }
        return " = " + item.text + (item.code.empty() ? std::string() : " " + coded(item.code));
    }
    if (type == "COMPOSITE" || type == "IMAGE" || type == "WAVEFORM") {
        return " = " + object_text(item.object);
    }
    if (type == "SCOORD" || type == "SCOORD3D") {
        std::string out = " = " + item.text + " " + points(item.numbers, type == "SCOORD" ? 2 : 3);
        return item.frame_of_reference.empty() ? out : out + " in " + item.frame_of_reference;
    }
    if (type == "TCOORD") {
        return " = " + item.text + " " + item.numbers_name + " " + joined(item.numbers, ",");
    }
    return {};
}

void append_lines(const ContentItem& item, const std::string& position, std::size_t depth,
                  std::vector<std::string>& lines)
{
    std::string line(depth * 2, ' ');
    line += position;
    if (!item.relationship.empty()) {
        line += " " + item.relationship;
    }
    if (item.value_type.empty()) {
        line += " -> " + joined(item.referenced, ".");
    } else {
        line += " " + item.value_type;
        if (!item.concept_name.empty()) {
            line += " " + coded(item.concept_name);
        }
        line += value_text(item);
    }
    if (!item.observation_datetime.empty()) {
        line += " {" + item.observation_datetime + "}";
    }
    lines.push_back(std::move(line));
    for (std::size_t i = 0; i < item.children.size(); ++i) {
        append_lines(item.children[i], position + "." + std::to_string(i + 1), depth + 1, lines);
    }
}

} // namespace

std::vector<std::string> report_lines(const StructuredReport& report)
{
    std::vector<std::string> lines;
    append_lines(report.root, "1", 0, lines);
    return lines;
}
