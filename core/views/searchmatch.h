#pragma once
// Matching rows of a file list against a search keyword.
#include <functional>
#include <string>
#include <vector>

namespace velmar {

// True when the keyword occurs in any of the cells. Without case sensitivity the
// letters a-z of both sides are compared as upper case.
bool RowMatches(const std::vector<std::string>& cells, const std::string& keyword, bool caseSensitive);

struct TSearchRequest {
    std::string Keyword;
    bool SelectedItems = false;  // search the selected rows only, else all
    bool CaseSensitive = false;
    bool KeepSelection = false;  // rows selected before stay selected
    bool CopyMatches = false;    // matches are copied elsewhere instead of selected
};

struct TSearchOutcome {
    std::vector<char> Selection;  // one flag per row: the list's selection afterwards
    std::vector<size_t> Matches;  // the rows that match, in list order
};

// Searches the rows of a list: `selected` is its selection before, `cells` gives a
// row's cells. Unless the selection is kept, every row is deselected; a match is
// selected, unless matches are copied elsewhere.
TSearchOutcome SearchRows(const std::vector<char>& selected, const TSearchRequest& request,
                          const std::function<std::vector<std::string>(size_t row)>& cells);

}  // namespace velmar
