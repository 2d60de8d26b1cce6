#include "MP3ListView.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <numeric>

#include "app/appcontext.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "file/filereader.h"
#include "file/inplace.h"
#include "file/mp3object.h"
#include "views/listcells.h"

namespace velmar::gui {

namespace {

int QtAlignment(const QString& caption) {
    switch (CellAlignment(caption.toStdString())) {
        case TCellAlignment::Centre: return Qt::AlignCenter;
        case TCellAlignment::Right: return Qt::AlignRight | Qt::AlignVCenter;
        case TCellAlignment::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// Texts compared character by character in the order of their code points (the
// order of their UTF-8 bytes): UTF-16 units of surrogate pairs sort above U+FFFF.
int CompareText(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* pa = a.constData();
    const QChar* pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        uint32_t x = pa[i].unicode(), y = pb[i].unicode();
        if (x == y) continue;
        auto key = [](uint32_t c) { return c >= 0xE000 ? c - 0x800 : c >= 0xD800 ? c + 0x2000 : c; };
        return key(x) < key(y) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

using TCellTexts = std::map<std::string, std::string>;

// A file's name for the core, converted on the user-interface thread before the pool reads it.
struct TFileName {
    std::filesystem::path Path;
    std::string Utf8;
};

std::vector<TFileName> FileNames(const QStringList& names) {
    std::vector<TFileName> files;
    files.reserve(size_t(names.size()));
    for (const QString& name : names) files.push_back({ToPath(name), name.toStdString()});
    return files;
}

const char* const kEditModeMessage =
    "You are currently in Edit mode.\rNo changes can be done to the list while you are in this mode.\r"
    "To make the changes you want, exit the tag editor.";

}  // namespace

// Cells drawn by the style, with three additions: path cells elide in the middle (the end
// of a path names the folder a user looks for), rows are tall enough for accents above
// capitals and for CJK text, and grid lines are drawn after the cell so that a selected
// row keeps its highlight.
class TCellDelegate : public QStyledItemDelegate {
public:
    explicit TCellDelegate(TMP3ListView* view) : QStyledItemDelegate(view) {}
    bool Grid = false;
    int PathColumn = -1;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics metrics(option.font);
        // Fallback fonts (CJK) take part in the bounding box of a mixed text.
        const int tallest = std::max(metrics.height(), metrics.boundingRect(QStringLiteral("ÅÉÖÇgjy漢字가")).height());
        size.setHeight(std::max(size.height(), tallest + 6));
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (!Grid) return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == PathColumn) option->textElideMode = Qt::ElideMiddle;
    }
};

// ---- TRowLoader ----

TRowLoader::TRowLoader(const QStringList& captions) : Captions(captions) {
    for (const QString& c : captions) CaptionsUtf8.push_back(c.toStdString());
    FilenameColumn = int(captions.indexOf("Filename"));
}

QString TRowLoader::Shared(const QString& text) {
    if (text.isEmpty()) return QString();
    const auto it = Texts.constFind(text);
    if (it != Texts.constEnd()) return *it;
    Texts.insert(text);
    return text;
}

QStringList TRowLoader::Cells(const std::map<std::string, std::string>& cells) {
    QStringList row;
    row.reserve(Captions.size());
    for (size_t c = 0; c < CaptionsUtf8.size(); ++c) {
        const auto it = cells.find(CaptionsUtf8[c]);
        if (it == cells.end()) {
            row.append(QString());
        } else if (int(c) == FilenameColumn) {
            row.append(FromUtf8(it->second));
        } else if (CaptionsUtf8[c] == "Path") {
            // Consecutive files of one folder share its text without a look-up.
            if (it->second != LastPathUtf8) {
                LastPathUtf8 = it->second;
                LastPath = Shared(FromUtf8(it->second));
            }
            row.append(LastPath);
        } else {
            row.append(Shared(FromUtf8(it->second)));
        }
    }
    return row;
}

std::map<std::string, std::string> TRowLoader::ReadCells(const std::filesystem::path& file,
                                                         const std::string& fullFileName, velmar::TMessageSink& sink) {
    try {
        TMP3Object object(sink);
        if (object.LoadFile(file, false)) return ListCells(object, fullFileName);
    } catch (const std::exception& e) {
        sink.Error(std::string("Error: ") + e.what());
    }
    return UnreadableFileCells(fullFileName);
}

QStringList TRowLoader::Load(const QString& fullFileName, velmar::TMessageSink& sink) {
    return Cells(ReadCells(ToPath(fullFileName), fullFileName.toStdString(), sink));
}

// ---- TMP3ListModel ----

int TMP3ListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(Rows.size()); }

int TMP3ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ColumnCaptions.size());
}

QVariant TMP3ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= Rows.size() || index.column() >= ColumnCaptions.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) return Rows[size_t(index.row())][index.column()];
    if (role == Qt::TextAlignmentRole) return Alignments[size_t(index.column())];
    return {};
}

Qt::ItemFlags TMP3ListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && size_t(index.column()) < Editable.size() && Editable[size_t(index.column())])
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TMP3ListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable) || size_t(index.row()) >= Rows.size())
        return false;
    const QString text = value.toString();
    if (text != Cell(index.row(), index.column())) emit CellEdited(index.row(), index.column(), text);
    return true;
}

QVariant TMP3ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCaptions.size()) return {};
    if (role == Qt::DisplayRole) return ColumnCaptions[section];
    if (role == Qt::TextAlignmentRole) return Alignments[size_t(section)];
    return {};
}

void TMP3ListModel::SetCaptions(const QStringList& captions) {
    beginResetModel();
    ColumnCaptions = captions;
    Alignments.clear();
    Editable.clear();
    for (const QString& c : captions) {
        Alignments.push_back(QtAlignment(c));
        Editable.push_back(IsEditableCell(c.toStdString()));
    }
    Rows.clear();
    endResetModel();
}

void TMP3ListModel::SetCell(int row, int column, const QString& text) {
    Rows[size_t(row)][column] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void TMP3ListModel::SetRow(int row, QStringList cells) {
    cells.resize(ColumnCaptions.size());
    Rows[size_t(row)] = std::move(cells);
    emit dataChanged(index(row, 0), index(row, int(ColumnCaptions.size()) - 1));
}

void TMP3ListModel::AppendRows(std::vector<QStringList>& rows) {
    if (rows.empty()) return;
    const int first = int(Rows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    Rows.reserve(Rows.size() + rows.size());
    for (QStringList& r : rows) {
        r.resize(ColumnCaptions.size());
        Rows.push_back(std::move(r));
    }
    endInsertRows();
    rows.clear();
}

void TMP3ListModel::InsertRow(int row, QStringList cells) {
    cells.resize(ColumnCaptions.size());
    beginInsertRows({}, row, row);
    Rows.insert(Rows.begin() + row, std::move(cells));
    endInsertRows();
}

void TMP3ListModel::RemoveRow(int row) {
    beginRemoveRows({}, row, row);
    Rows.erase(Rows.begin() + row);
    endRemoveRows();
}

void TMP3ListModel::RemoveRowSet(const std::vector<char>& remove) {
    std::vector<std::pair<int, int>> runs;  // first, last
    for (int r = 0; r < int(Rows.size()) && size_t(r) < remove.size(); ++r) {
        if (!remove[size_t(r)]) continue;
        if (!runs.empty() && runs.back().second == r - 1)
            runs.back().second = r;
        else
            runs.emplace_back(r, r);
    }
    if (runs.size() <= 64) {
        for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
            beginRemoveRows({}, it->first, it->second);
            Rows.erase(Rows.begin() + it->first, Rows.begin() + it->second + 1);
            endRemoveRows();
        }
        return;
    }
    // Many scattered rows: compact once.
    beginResetModel();
    size_t out = 0;
    for (size_t r = 0; r < Rows.size(); ++r)
        if (r >= remove.size() || !remove[r]) Rows[out++] = std::move(Rows[r]);
    Rows.resize(out);
    endResetModel();
}

void TMP3ListModel::Clear() {
    beginResetModel();
    Rows.clear();
    Rows.shrink_to_fit();
    endResetModel();
}

std::vector<int> TMP3ListModel::SortByColumn(int column, Qt::SortOrder order) {
    const int n = int(Rows.size());
    std::vector<int> rowOrder(static_cast<size_t>(n));
    std::iota(rowOrder.begin(), rowOrder.end(), 0);
    if (column < 0 || column >= ColumnCaptions.size()) return rowOrder;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const int sign = order == Qt::DescendingOrder ? -1 : 1;
    std::stable_sort(rowOrder.begin(), rowOrder.end(), [&](int a, int b) {
        return sign * CompareText(Rows[size_t(a)][column], Rows[size_t(b)][column]) < 0;
    });
    std::vector<QStringList> sorted;
    sorted.reserve(size_t(n));
    std::vector<int> newPosition(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        sorted.push_back(std::move(Rows[size_t(rowOrder[size_t(i)])]));
        newPosition[size_t(rowOrder[size_t(i)])] = i;
    }
    Rows = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to << (i.row() < n ? index(newPosition[size_t(i.row())], i.column()) : QModelIndex());
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return newPosition;
}

// ---- TMP3ListView ----

TMP3ListView::TMP3ListView(TDialogs& dialogs, QWidget* parent)
    : QTreeView(parent), Dialogs(dialogs), ListModel(new TMP3ListModel(this)) {
    setModel(ListModel);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // F2 or a slow second click on a selected row edits the tag cell under it.
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setSortingEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    // No arrow until the rows are sorted.
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setMinimumSectionSize(8);
    Cells = new TCellDelegate(this);
    setItemDelegate(Cells);
    connect(header(), &QHeaderView::sectionHandleDoubleClicked, this, &TMP3ListView::FitColumnToContents);
    // A width the user sets (or a fit to the contents) is the column's own from then on.
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!Stretching && size_t(column) < Stretch.size()) Stretch[size_t(column)] = 0;
    });
}

void TMP3ListView::SetGrid(bool on) {
    Cells->Grid = on;
    viewport()->update();
}

bool TMP3ListView::Grid() const { return Cells->Grid; }

void TMP3ListView::FitColumnToContents(int column) {
    if (column < 0 || column >= ListModel->columnCount()) return;
    const QFontMetrics metrics(font());
    int widest = header()->sectionSizeHint(column);
    for (int row = 0; row < Count(); ++row)
        widest =
            std::max(widest, metrics.horizontalAdvance(ListModel->Cell(row, column)) + 2 * metrics.averageCharWidth());
    header()->resizeSection(column, widest);
}

void TMP3ListView::WidenToCaption(int column) {
    if (column < 0 || column >= ListModel->columnCount()) return;
    const int caption = header()->sectionSizeHint(column);
    if (header()->sectionSize(column) < caption) header()->resizeSection(column, caption);
}

int TMP3ListView::OwnWidth(int column) const {
    const int width = header()->sectionSize(column);
    return size_t(column) < Stretch.size() ? width - Stretch[size_t(column)] : width;
}

void TMP3ListView::SetColumns(const QList<QPair<QString, int>>& columns) {
    QStringList captions;
    for (const auto& c : columns) captions << c.first;
    ListModel->SetCaptions(captions);
    Cells->PathColumn = int(captions.indexOf("Path"));
    Stretch.assign(size_t(columns.size()), 0);
    Stretching = true;
    for (int i = 0; i < columns.size(); ++i) header()->resizeSection(i, columns[i].second);
    Stretching = false;
    StretchColumns();
}

void TMP3ListView::StretchColumns() {
    const int name = ColumnIndex("Filename") + 1, path = ColumnIndex("Path") + 1;
    if ((name < 0 && path < 0) || Stretch.size() != size_t(ListModel->columnCount())) return;
    int own = 0;
    for (int c = 0; c < ListModel->columnCount(); ++c) own += OwnWidth(c);
    const int room = std::max(0, viewport()->width() - own);
    // Two thirds to the file name and one to the folder when both are shown.
    const int toName = name < 0 ? 0 : path < 0 ? room : room * 2 / 3;
    Stretching = true;
    for (const auto& [column, extra] : {std::pair{name, toName}, std::pair{path, room - toName}}) {
        if (column < 0) continue;
        const int width = OwnWidth(column);
        Stretch[size_t(column)] = extra;
        header()->resizeSection(column, width + extra);
    }
    Stretching = false;
}

bool TMP3ListView::viewportEvent(QEvent* event) {
    const bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize) StretchColumns();
    return handled;
}

void TMP3ListView::ShowEditModeMessage() { Dialogs.Information(this, QString::fromLatin1(kEditModeMessage)); }

void TMP3ListView::AddFile(const QString& fullFileName) {
    if (EditMode) {
        ShowEditModeMessage();
        return;
    }
    TBoxSink sink(Dialogs, this);
    TRowLoader loader(ListModel->Captions());
    std::vector<QStringList> rows;
    rows.push_back(loader.Load(fullFileName, sink));
    ListModel->AppendRows(rows);
}

int TMP3ListView::AddFiles(const QStringList& fullFileNames, TBatchErrors& errors, const QString& label) {
    if (EditMode) {
        ShowEditModeMessage();
        return 0;
    }
    if (fullFileNames.isEmpty()) return 0;
    TProgress progress(this, label, int(fullFileNames.size()));
    TRowLoader loader(ListModel->Captions());
    const std::vector<TFileName> files = FileNames(fullFileNames);
    std::vector<QStringList> pending;
    int added = 0, done = 0;
    auto appendPending = [&] {
        added += int(pending.size());
        ListModel->AppendRows(pending);
    };
    // The pool reads the files; their rows are made and appended here, in order.
    ReadItemsInOrder<TCellTexts>(
        files.size(),
        [&files](size_t i, TCollectingSink& sink) { return TRowLoader::ReadCells(files[i].Path, files[i].Utf8, sink); },
        [&](size_t i, TFileRead<TCellTexts>&& read) {
            pending.push_back(loader.Cells(read.Failed ? UnreadableFileCells(files[i].Utf8) : read.Value));
            for (const std::string& m : read.Messages) errors.Add(fullFileNames[qsizetype(i)], FromUtf8(m));
            done = int(i + 1);
            if (!progress.Due()) return true;
            appendPending();
            return progress.Step(done);
        },
        [&] {
            appendPending();
            return progress.Step(done);
        });
    appendPending();
    return added;
}

void TMP3ListView::RefreshItem(int row) {
    if (row < 0 || row >= Count()) return;
    TBoxSink sink(Dialogs, this);
    TRowLoader loader(ListModel->Captions());
    ListModel->SetRow(row, loader.Load(FileNameAt(row), sink));
}

void TMP3ListView::RefreshItems(const std::vector<int>& rows, TBatchErrors& errors, const QString& label,
                                QStringList* cutShort) {
    TProgress progress(this, label, int(rows.size()));
    TRowLoader loader(ListModel->Captions());
    // The rows that exist and their files, taken before the pool reads the files.
    std::vector<size_t> positions;  // in `rows`
    QStringList names;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] < 0 || rows[i] >= Count()) continue;
        positions.push_back(i);
        names << FileNameAt(rows[i]);
    }
    const std::vector<TFileName> files = FileNames(names);
    int done = 0;
    ReadItemsInOrder<TCellTexts>(
        files.size(),
        [&files](size_t k, TCollectingSink& sink) { return TRowLoader::ReadCells(files[k].Path, files[k].Utf8, sink); },
        [&](size_t k, TFileRead<TCellTexts>&& read) {
            const int row = rows[positions[k]];
            const QString& name = names[qsizetype(k)];
            // Events run while the files are read: a row that now holds another file is left alone.
            if (row < Count() && FileNameAt(row) == name)
                ListModel->SetRow(row, loader.Cells(read.Failed ? UnreadableFileCells(files[k].Utf8) : read.Value));
            for (const std::string& m : read.Messages) errors.Add(name, FromUtf8(m));
            if (cutShort && velmar::HasCutShortSave(velmar::WriteTargetOf(files[k].Path))) *cutShort << name;
            done = int(positions[k] + 1);
            return progress.Step(done);
        },
        [&] { return progress.Step(done); });
}

void TMP3ListView::DeleteItem(int row) {
    if (EditMode) {
        ShowEditModeMessage();
        return;
    }
    if (row >= 0 && row < Count()) ListModel->RemoveRow(row);
}

QString TMP3ListView::FileNameAt(int row) const {
    if (row < 0 || row >= Count()) return {};
    QString path, name;
    GetField(row, "Path", path);
    GetField(row, "Filename", name);
    return path + name;
}

QString TMP3ListView::FocusedFileName() const {
    const int first = FirstSelected();
    return first < 0 ? QString() : FileNameAt(first);
}

void TMP3ListView::SetFileName(int row, const QString& name) { SetField(row, "Filename", name); }

int TMP3ListView::ColumnIndex(const QString& caption) const {
    const qsizetype i = ListModel->Captions().indexOf(caption);
    return i < 0 ? -2 : int(i) - 1;
}

void TMP3ListView::GetField(int row, const QString& caption, QString& text) const {
    const int column = ColumnIndex(caption) + 1;
    if (column >= 0 && row >= 0 && row < Count()) text = ListModel->Cell(row, column);
}

void TMP3ListView::SetField(int row, const QString& caption, const QString& text) {
    const int column = ColumnIndex(caption) + 1;
    if (column >= 0 && row >= 0 && row < Count()) ListModel->SetCell(row, column, text);
}

std::vector<char> TMP3ListView::SelectedRows() const {
    std::vector<char> flags(size_t(Count()), 0);
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            if (r >= 0 && r < Count()) flags[size_t(r)] = 1;
    return flags;
}

int TMP3ListView::SelectedCount() const {
    const std::vector<char> flags = SelectedRows();
    return int(std::count(flags.begin(), flags.end(), 1));
}

int TMP3ListView::FirstSelected() const {
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (range.top() >= 0 && (first < 0 || range.top() < first)) first = range.top();
    return first;
}

bool TMP3ListView::IsSelected(int row) const { return selectionModel()->isRowSelected(row, QModelIndex()); }

void TMP3ListView::SelectRows(const std::vector<char>& flags) {
    QItemSelection selection;
    const int columns = std::max(1, ListModel->columnCount());
    const int n = std::min(Count(), int(flags.size()));
    for (int r = 0; r < n;) {
        if (!flags[size_t(r)]) {
            ++r;
            continue;
        }
        int last = r;
        while (last + 1 < n && flags[size_t(last + 1)]) ++last;
        selection.append(QItemSelectionRange(ListModel->index(r, 0), ListModel->index(last, columns - 1)));
        r = last + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TMP3ListView::SetRowSelected(int row, bool selected) {
    if (row < 0 || row >= Count()) return;
    selectionModel()->select(
        ListModel->index(row, 0),
        (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
}

void TMP3ListView::SelectAll() {
    if (Count() == 0) return;
    selectionModel()->select(QItemSelection(ListModel->index(0, 0),
                                            ListModel->index(Count() - 1, std::max(0, ListModel->columnCount() - 1))),
                             QItemSelectionModel::ClearAndSelect);
}

void TMP3ListView::SelectNone() { selectionModel()->clearSelection(); }

void TMP3ListView::SelectInverse() {
    std::vector<char> flags = SelectedRows();
    for (char& f : flags) f = !f;
    SelectRows(flags);
}

void TMP3ListView::SortByColumn(int column, Qt::SortOrder order) {
    const std::vector<char> flags = SelectedRows();
    selectionModel()->clearSelection();
    const std::vector<int> newPosition = ListModel->SortByColumn(column, order);
    header()->setSortIndicator(column, order);
    std::vector<char> moved(flags.size(), 0);
    for (size_t old = 0; old < flags.size() && old < newPosition.size(); ++old)
        moved[size_t(newPosition[old])] = flags[old];
    SelectRows(moved);
}

void TMP3ListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMP3ListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMP3ListView::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedPaths(*event->mimeData());
    event->acceptProposedAction();
    if (!paths.isEmpty()) emit FilesDropped(paths);
}

void TMP3ListView::mousePressEvent(QMouseEvent* event) {
    if (indexAt(event->position().toPoint()).isValid())
        DoubleClickTarget = 0;
    else
        DoubleClickTarget = (event->modifiers() & Qt::ShiftModifier) ? 2 : 1;
    QTreeView::mousePressEvent(event);
    emit Pressed();
}

void TMP3ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        QTreeView::mouseDoubleClickEvent(event);
        emit RowDoubleClicked(index.row());
        return;
    }
    emit EmptySpaceDoubleClicked(DoubleClickTarget == 2 || (event->modifiers() & Qt::ShiftModifier));
}

bool TMP3ListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // While the tag editor has the files, their tags are changed there only.
    if (EditMode) {
        if (trigger == QAbstractItemView::EditKeyPressed && (ListModel->flags(index) & Qt::ItemIsEditable))
            ShowEditModeMessage();
        return false;
    }
    return QTreeView::edit(index, trigger, event);
}

void TMP3ListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != EditingState && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (SelectedCount() > 0) emit EnterPressed();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

}  // namespace velmar::gui
