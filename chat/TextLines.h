#pragma once

#include <string_view>
#include <vector>

namespace chat {

// Cuts a text into the lines it shows as: CR LF, CR and LF each end a line.
// An empty text is one empty line; a text ending in a break ends with an
// empty line.
std::vector<std::string_view> SplitLines(std::string_view text);

} // namespace chat
