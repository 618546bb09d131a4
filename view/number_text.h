// Numbers to and from text the same way whatever the process locale says (the
// window's toolkit sets it from the environment): '.' is always the decimal
// point.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The backslash-separated numbers of a DS or IS value, each with optional
// blanks around it and an optional sign; nullopt unless every one parses to a
// finite number.
std::optional<std::vector<double>> decimal_values(std::string_view text);

// `value` with `decimals` (0 to 20) digits after the point ("-12.3"); a value that
// rounds to zero has no minus sign.
std::string fixed_text(double value, int decimals);

// A measured value as short as it reads: whole numbers without a point
// ("1032"), others to six significant digits ("-0.00125", "1032.5").
std::string number_text(double value);
