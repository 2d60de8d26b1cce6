#pragma once
// THistoryForm ("History"): the changes Velmar made to audio files, newest first:
// when, what, how many files, and whether it is undone. "Undo" takes back the chosen
// change, "Redo" gives again the change undone last; the main window does both, so
// that its browsers follow the files.
#include <QDialog>
#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace velmar {
class THistory;
}

namespace velmar::gui {

class THistoryForm : public QDialog {
    Q_OBJECT
public:
    THistoryForm(const velmar::THistory& history, QWidget* parent = nullptr);

    std::function<void(uint64_t id)> UndoChange;
    std::function<void()> RedoChange;

    // Lists the changes again, keeping the chosen one chosen.
    void Fill();
    uint64_t ChosenId() const;

    QTreeWidget* lvChanges;  // "No.", "Date and Time", "Change", "Files", "Undone"
    QLabel* lblRedo;
    QPushButton* btnUndo;
    QPushButton* btnRedo;
    QPushButton* btnClose;

private:
    void UpdateButtons();
    const velmar::THistory& History;
};

}  // namespace velmar::gui
