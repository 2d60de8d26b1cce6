#include "searchmatch.h"

namespace velmar {

namespace {

// Only the letters a-z change: other bytes, UTF-8 sequences included, stay as they are.
std::string UpperAZ(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

}  // namespace

bool RowMatches(const std::vector<std::string>& cells, const std::string& keyword, bool caseSensitive) {
    const std::string key = caseSensitive ? keyword : UpperAZ(keyword);
    for (const std::string& cell : cells)
        if ((caseSensitive ? cell : UpperAZ(cell)).find(key) != std::string::npos) return true;
    return false;
}

}  // namespace velmar
