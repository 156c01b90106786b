// Numbers as automation reads them from text, in the English form: white space around, a
// leading sign, digits with optional thousands separators, a decimal point, an exponent.
#pragma once

#include <optional>
#include <string_view>

#include "pal/windef.h"

namespace pal::oleaut32 {

/// The number `text` spells, or nothing when it is not a number. Stops the process for currency,
/// parentheses, trailing signs and &H/&O numbers, which Windows accepts but this layer does not.
std::optional<double> NumberOfText(std::u16string_view text);

}  // namespace pal::oleaut32
