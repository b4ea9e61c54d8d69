// The two questions asked before editing starts.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

// Writes the question and reads a whole number of at least 1. Anything else
// (not a number, 0 or less) drops the rest of that line and asks again; a
// number too large to hold counts as the largest one. A question asked again
// starts on a line of its own. Returns nothing when the input ends first.
// answerTypedAhead carries from one question to the next whether the line
// of the last answer goes on with the next one.
std::optional<int> askNumber(std::istream& in, std::ostream& out,
                             const std::string& question,
                             bool& answerTypedAhead);
