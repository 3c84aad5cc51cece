// Runs the engine over a list and an inventory and compares what it leaves
// with what the rules say: used by the differential test and the fuzz target.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tests/test_support.h"

namespace testing_support {

// Writes in.txt, Symbols.txt and any Replacements.txt into `folder`, runs the engine there and
// returns an empty string when the outputs, the captions and the error (if
// any) are those of the model; otherwise says what differs. Outputs an
// earlier call left in the folder serve as the earlier results.
std::string DifferenceFromModel(const TempFolder& folder, std::string_view list,
                                std::string_view symbols,
                                std::optional<std::string_view> replacements = std::nullopt);

// The bytes with everything but printable ASCII written as \xHH.
std::string Escaped(std::string_view bytes, std::size_t limit = 400);

}  // namespace testing_support
