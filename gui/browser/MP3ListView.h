#pragma once
// TMP3ListView: the rows of one browser window. Every row is one file, every cell
// text; the columns are known by caption only, and a row's file is its "Path"
// cell followed by its "Filename" cell.
#include <QAbstractTableModel>
#include <QSet>
#include <QStringList>
#include <QTreeView>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/messages.h"

namespace velmar::gui {

class TDialogs;
class TBatchErrors;
class TProgress;
class TCellDelegate;

// Loads files into the cells of rows for one set of columns. Texts that repeat
// (folders, tag kinds, albums, genres...) are shared between the rows it makes.
class TRowLoader {
public:
    explicit TRowLoader(const QStringList& captions);
    // Reads the file's tags and stream facts; messages go to `sink`.
    QStringList Load(const QString& fullFileName, velmar::TMessageSink& sink);
    // The reading half of Load: the core's cell texts of the file, or those of an
    // unreadable file. It touches nothing of Qt, so the thread pool runs it.
    static std::map<std::string, std::string> ReadCells(const std::filesystem::path& file,
                                                        const std::string& fullFileName, velmar::TMessageSink& sink);
    // The other half, on the user-interface thread: the row of those cells.
    QStringList Cells(const std::map<std::string, std::string>& cells);

private:
    QString Shared(const QString& text);
    QStringList Captions;
    std::vector<std::string> CaptionsUtf8;
    int FilenameColumn;
    QSet<QString> Texts;
    std::string LastPathUtf8;
    QString LastPath;
};

// The cells of every row, column by column in the order of the captions.
class TMP3ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The tag cells can be edited in place; what is typed is asked for with CellEdited and
    // not kept here: the row shows the file once it is written.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    void SetCaptions(const QStringList& captions);  // removes every row
    const QStringList& Captions() const { return ColumnCaptions; }
    const QStringList& Row(int row) const { return Rows[size_t(row)]; }
    const QString& Cell(int row, int column) const { return Rows[size_t(row)][column]; }
    void SetCell(int row, int column, const QString& text);
    void SetRow(int row, QStringList cells);

    void AppendRows(std::vector<QStringList>& rows);  // moved in, one insertion for all
    void InsertRow(int row, QStringList cells);
    void RemoveRow(int row);
    void RemoveRowSet(const std::vector<char>& remove);  // removes the marked rows in one go
    void Clear();
    // By the texts of one column, compared character by character as they are written
    // (case matters, digits are not numbers), ascending or descending; rows with equal
    // texts keep their order either way. Returns the new position of every old row.
    std::vector<int> SortByColumn(int column, Qt::SortOrder order = Qt::AscendingOrder);

signals:
    void CellEdited(int row, int column, const QString& text);

private:
    QStringList ColumnCaptions;
    std::vector<char> Editable;
    std::vector<int> Alignments;
    std::vector<QStringList> Rows;
};

class TMP3ListView : public QTreeView {
    Q_OBJECT
public:
    explicit TMP3ListView(TDialogs& dialogs, QWidget* parent = nullptr);

    TMP3ListModel* Model() const { return ListModel; }
    int Count() const { return ListModel->rowCount(); }

    // Columns: caption and width, in order.
    void SetColumns(const QList<QPair<QString, int>>& columns);
    // Lines between cells, drawn over the rows so that the selection still shows.
    void SetGrid(bool on);
    bool Grid() const;
    // Widens or narrows a column to its longest text (all rows, not only those in view) and its caption.
    void FitColumnToContents(int column);
    // Widens a column too narrow for its caption (and the sort arrow) to show it whole.
    void WidenToCaption(int column);
    // A column's width without the room it was given to fill the window: the width to keep.
    int OwnWidth(int column) const;
    QStringList StrList() const { return ListModel->Captions(); }

    // Appends one row for the file; refused in edit mode. Messages are shown at once.
    void AddFile(const QString& fullFileName);
    // Appends one row per file, loading them in turn with a progress window that can
    // cancel; messages are gathered in `errors`. Returns the number of rows added.
    int AddFiles(const QStringList& fullFileNames, TBatchErrors& errors, const QString& label);
    // Reloads the file of a row and rewrites its cells (also in edit mode).
    void RefreshItem(int row);
    // Reads the rows' files again; `cutShort`, when given, receives the files that
    // have a save cut short waiting (reading leaves those saves alone).
    void RefreshItems(const std::vector<int>& rows, TBatchErrors& errors, const QString& label,
                      QStringList* cutShort = nullptr);
    void DeleteItem(int row);  // refused in edit mode
    QString FileNameAt(int row) const;
    QString FocusedFileName() const;
    void SetFileName(int row, const QString& name);
    int ColumnIndex(const QString& caption) const;  // -1 caption cell, k sub-item k, -2 none
    // The cell's text; `text` is left as it is when no column has that caption.
    void GetField(int row, const QString& caption, QString& text) const;
    void SetField(int row, const QString& caption, const QString& text);
    void ShowEditModeMessage();
    bool EditMode = false;

    // Selection, by rows in list order.
    std::vector<char> SelectedRows() const;  // one flag per row
    int SelectedCount() const;
    int FirstSelected() const;  // -1 when none
    bool IsSelected(int row) const;
    void SelectRows(const std::vector<char>& flags);  // exactly these
    void SetRowSelected(int row, bool selected);
    void SelectAll();
    void SelectNone();
    void SelectInverse();
    // Sorts the rows, keeping the selection on the same files, and shows the order on the header.
    void SortByColumn(int column, Qt::SortOrder order = Qt::AscendingOrder);

signals:
    void FilesDropped(const QStringList& paths);
    void EmptySpaceDoubleClicked(bool shift);
    void RowDoubleClicked(int row);
    void EnterPressed();  // Return or Enter on a list with rows selected
    void Pressed();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    TDialogs& Dialogs;
    TMP3ListModel* ListModel;
    TCellDelegate* Cells;
    int DoubleClickTarget = 0;  // 0 a row, 1 empty space, 2 empty space with Shift
    // The room beyond the columns' own widths goes to Filename and Path, so that a wider
    // window shows more of the names; Stretch holds what each column was given.
    void StretchColumns();
    std::vector<int> Stretch;
    bool Stretching = false;
};

}  // namespace velmar::gui
