#pragma once
// Every modal interaction of the program goes through TDialogs: message boxes,
// questions, the input box, the file and folder pickers and the program's own
// modal windows. TQtDialogs shows them; TScriptedDialogs (tests) answers them
// from a queue and records what was asked.
#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QColor;
class QFont;
class QWidget;

namespace velmar::gui {

enum class TAnswer { Yes, No, Cancel };

class TDialogs {
public:
    virtual ~TDialogs() = default;
    virtual void Information(QWidget* parent, const QString& text) = 0;
    virtual void Error(QWidget* parent, const QString& text) = 0;
    virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
    virtual TAnswer AskYesNoCancel(QWidget* parent, const QString& text) = 0;
    virtual std::optional<QString> Input(QWidget* parent, const QString& caption, const QString& prompt,
                                         const QString& value) = 0;
    // One question over a list of lines (each file with its reason), all of them in one
    // scrolling list: true when the user chose `accept`, false for Cancel. With an empty
    // `accept` the list is only shown, with Close, and the result is false.
    virtual bool AskOverList(QWidget* parent, const QString& text, const QStringList& lines, const QString& accept) = 0;
    // Filters are written "Description (*.a)|*.a|Other (*.b)|*.b".
    virtual QStringList OpenFiles(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                                  bool multiple) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                             const QString& defaultExtension) = 0;
    virtual QString Folder(QWidget* parent, const QString& title, const QString& start) = 0;
    // The font picker: true with `font` changed when one was chosen.
    virtual bool Font(QWidget* parent, QFont& font) = 0;
    // The colour picker: true with `colour` changed when one was chosen.
    virtual bool Colour(QWidget* parent, QColor& colour) = 0;
    // Shows one of the program's modal windows; the result of QDialog::exec.
    virtual int Exec(QDialog& dialog) = 0;
};

class TQtDialogs : public TDialogs {
public:
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
};

// "Text (*.a; *.b)|*.b;*.a|..." as Qt's file dialogs take it: "Text (*.a *.b);;...".
QString QtFileFilter(const QString& filter);
// Message texts use "\r" for their line breaks.
QString DisplayText(const QString& text);
// The title of message boxes: the application title "Velmar v1.3".
QString ApplicationTitle();

}  // namespace velmar::gui
