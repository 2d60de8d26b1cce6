#pragma once
// Matching rows of a file list against a search keyword.
#include <string>
#include <vector>

namespace velmar {

// True when the keyword occurs in any of the cells. Without case sensitivity the
// letters a-z of both sides are compared as upper case.
bool RowMatches(const std::vector<std::string>& cells, const std::string& keyword, bool caseSensitive);

}  // namespace velmar
