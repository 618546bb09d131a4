#include "view/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

std::optional<std::vector<double>> decimal_values(std::string_view text)
{
    std::vector<double> out;
    while (true) {
        const std::size_t end = std::min(text.find('\\'), text.size());
        std::string_view part = text.substr(0, end);
        const std::size_t first = part.find_first_not_of(' ');
        if (first == std::string_view::npos) {
            return std::nullopt;
        }
        part = part.substr(first, part.find_last_not_of(' ') - first + 1);
        if (part.front() == '+') {
            part.remove_prefix(1);
            if (part.empty() || part.front() == '-') {
                return std::nullopt;
            }
        }
        double value = 0.0;
        const auto [stop, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc() || stop != part.data() + part.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        out.push_back(value);
        if (end == text.size()) {
            return out;
        }
        text.remove_prefix(end + 1);
    }
}

std::string fixed_text(double value, int decimals)
{
    decimals = std::clamp(decimals, 0, 20);
    const double scale = std::pow(10.0, decimals);
    if (std::round(std::fabs(value) * scale) == 0.0) {
        value = 0.0;
    }
    std::array<char, 512> buffer{}; // the longest double in fixed notation and its decimals
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    if (error != std::errc()) {
        return "?";
    }
    return std::string(buffer.data(), end);
}

std::string number_text(double value)
{
    if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::round(value)) {
        return fixed_text(value, 0);
    }
    std::array<char, 64> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 6);
    if (error != std::errc()) {
        return "?";
    }
    return std::string(buffer.data(), end);
}
