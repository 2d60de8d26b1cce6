#pragma once
// The tag editor's contents view: the parts of a file (stream, ID3v2 header and
// frames, ID3v1, Lyrics3) as a tree whose items carry the lines that describe them.
class QTreeWidget;

namespace velmar {
class TMP3Object;
}

namespace velmar::gui {

// Fills the tree; each item's Qt::UserRole data is its list of lines.
void FillContentsTree(QTreeWidget& tree, velmar::TMP3Object& file);

}  // namespace velmar::gui
