#pragma once
// Dialogs for tests: every question, picker and modal window is answered from a
// queue filled by the test, and everything asked or shown is recorded.
#include <QList>
#include <deque>
#include <functional>

#include "app/dialogs.h"

namespace velmar::gui {

class TScriptedDialogs : public TDialogs {
public:
    enum class TKind {
        Information,
        Error,
        YesNo,
        YesNoCancel,
        Input,
        List,
        OpenFiles,
        SaveFile,
        Folder,
        Font,
        Colour,
        Exec
    };
    struct TAsked {
        TKind Kind;
        QString Text;            // message, question, prompt or title
        QString Filter;          // pickers: the filter as the program wrote it; a list question: its accept choice
        QString Folder;          // pickers: the starting folder
        QStringList Lines = {};  // a list question: its lines
    };

    // Answers, used in order; each must match the kind of what is asked next.
    void Yes() { Push(TKind::YesNo, TAnswer::Yes); }
    void No() { Push(TKind::YesNo, TAnswer::No); }
    void Answer(TAnswer answer) { Push(TKind::YesNoCancel, answer); }
    void Input(std::optional<QString> text);
    void AcceptList(bool accept);              // a question over a list (none is taken when it only shows the list)
    void Files(const QStringList& files);      // empty: Cancel
    void SaveAs(const QString& file);          // empty: Cancel
    void ChooseFolder(const QString& folder);  // empty: Cancel
    void ChooseFont(const QString& family);    // empty: Cancel
    void ChooseColour(const QString& name);    // "#rrggbb"; empty: Cancel
    // A modal window: `run` works on it and returns its result (QDialog::Accepted...).
    void Run(std::function<int(QDialog&)> run);

    QList<TAsked> Asked;
    QStringList Problems;  // things asked with no matching answer queued
    bool AllAnswered() const { return Queue.empty(); }
    QStringList Messages(TKind kind) const;  // the texts asked of one kind, in order

    void Information(QWidget* parent, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& text) override;
    TAnswer AskYesNoCancel(QWidget* parent, const QString& text) override;
    std::optional<QString> Input(QWidget* parent, const QString& caption, const QString& prompt,
                                 const QString& value) override;
    bool AskOverList(QWidget* parent, const QString& text, const QStringList& lines, const QString& accept) override;
    QStringList OpenFiles(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                          bool multiple) override;
    QString SaveFile(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                     const QString& defaultExtension) override;
    QString Folder(QWidget* parent, const QString& title, const QString& start) override;
    bool Font(QWidget* parent, QFont& font) override;
    bool Colour(QWidget* parent, QColor& colour) override;
    int Exec(QDialog& dialog) override;

private:
    struct TQueued {
        TKind Kind;
        TAnswer Answer = TAnswer::Cancel;
        std::optional<QString> Text;
        QStringList Files;
        std::function<int(QDialog&)> Run;
    };
    void Push(TKind kind, TAnswer answer);
    std::optional<TQueued> Take(TKind kind, const QString& what);
    std::deque<TQueued> Queue;
};

}  // namespace velmar::gui
