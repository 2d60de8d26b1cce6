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

TSearchOutcome SearchRows(const std::vector<char>& selected, const TSearchRequest& request,
                          const std::function<std::vector<std::string>(size_t row)>& cells) {
    TSearchOutcome out;
    out.Selection = request.KeepSelection ? selected : std::vector<char>(selected.size(), 0);
    for (size_t row = 0; row < selected.size(); ++row) {
        if (request.SelectedItems && !selected[row]) continue;
        if (!RowMatches(cells(row), request.Keyword, request.CaseSensitive)) continue;
        out.Matches.push_back(row);
        if (!request.CopyMatches) out.Selection[row] = 1;
    }
    return out;
}

}  // namespace velmar
