#include "scripteddialogs.h"

#include <QColor>
#include <QDialog>
#include <QFont>

namespace velmar::gui {

void TScriptedDialogs::Push(TKind kind, TAnswer answer) {
    TQueued q;
    q.Kind = kind;
    q.Answer = answer;
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::Input(std::optional<QString> text) {
    TQueued q;
    q.Kind = TKind::Input;
    q.Text = std::move(text);
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::AcceptList(bool accept) { Push(TKind::List, accept ? TAnswer::Yes : TAnswer::No); }

void TScriptedDialogs::Files(const QStringList& files) {
    TQueued q;
    q.Kind = TKind::OpenFiles;
    q.Files = files;
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::SaveAs(const QString& file) {
    TQueued q;
    q.Kind = TKind::SaveFile;
    q.Text = file;
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::ChooseFolder(const QString& folder) {
    TQueued q;
    q.Kind = TKind::Folder;
    q.Text = folder;
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::ChooseFont(const QString& family) {
    TQueued q;
    q.Kind = TKind::Font;
    q.Text = family;
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::ChooseColour(const QString& name) {
    TQueued q;
    q.Kind = TKind::Colour;
    q.Text = name;
    Queue.push_back(std::move(q));
}

void TScriptedDialogs::Run(std::function<int(QDialog&)> run) {
    TQueued q;
    q.Kind = TKind::Exec;
    q.Run = std::move(run);
    Queue.push_back(std::move(q));
}

QStringList TScriptedDialogs::Messages(TKind kind) const {
    QStringList out;
    for (const TAsked& a : Asked)
        if (a.Kind == kind) out << a.Text;
    return out;
}

std::optional<TScriptedDialogs::TQueued> TScriptedDialogs::Take(TKind kind, const QString& what) {
    if (Queue.empty() || Queue.front().Kind != kind) {
        Problems << "no answer queued for: " + what;
        return std::nullopt;
    }
    TQueued q = std::move(Queue.front());
    Queue.pop_front();
    return q;
}

void TScriptedDialogs::Information(QWidget*, const QString& text) { Asked.append({TKind::Information, text, {}, {}}); }

void TScriptedDialogs::Error(QWidget*, const QString& text) { Asked.append({TKind::Error, text, {}, {}}); }

bool TScriptedDialogs::AskYesNo(QWidget*, const QString& text) {
    Asked.append({TKind::YesNo, text, {}, {}});
    const auto q = Take(TKind::YesNo, text);
    return q && q->Answer == TAnswer::Yes;
}

TAnswer TScriptedDialogs::AskYesNoCancel(QWidget*, const QString& text) {
    Asked.append({TKind::YesNoCancel, text, {}, {}});
    const auto q = Take(TKind::YesNoCancel, text);
    return q ? q->Answer : TAnswer::Cancel;
}

std::optional<QString> TScriptedDialogs::Input(QWidget*, const QString& caption, const QString& prompt,
                                               const QString&) {
    Asked.append({TKind::Input, prompt, caption, {}});
    const auto q = Take(TKind::Input, prompt);
    return q ? q->Text : std::nullopt;
}

bool TScriptedDialogs::AskOverList(QWidget*, const QString& text, const QStringList& lines, const QString& accept) {
    Asked.append({TKind::List, text, accept, {}, lines});
    if (accept.isEmpty()) return false;
    const auto q = Take(TKind::List, text);
    return q && q->Answer == TAnswer::Yes;
}

QStringList TScriptedDialogs::OpenFiles(QWidget*, const QString& title, const QString& folder, const QString& filter,
                                        bool) {
    Asked.append({TKind::OpenFiles, title, filter, folder});
    const auto q = Take(TKind::OpenFiles, title);
    return q ? q->Files : QStringList();
}

QString TScriptedDialogs::SaveFile(QWidget*, const QString& title, const QString& folder, const QString& filter,
                                   const QString&) {
    Asked.append({TKind::SaveFile, title, filter, folder});
    const auto q = Take(TKind::SaveFile, title);
    return q && q->Text ? *q->Text : QString();
}

QString TScriptedDialogs::Folder(QWidget*, const QString& title, const QString& start) {
    Asked.append({TKind::Folder, title, {}, start});
    const auto q = Take(TKind::Folder, title);
    return q && q->Text ? *q->Text : QString();
}

bool TScriptedDialogs::Font(QWidget*, QFont& font) {
    Asked.append({TKind::Font, font.family(), {}, {}});
    const auto q = Take(TKind::Font, "font");
    if (!q || !q->Text || q->Text->isEmpty()) return false;
    font.setFamily(*q->Text);
    return true;
}

bool TScriptedDialogs::Colour(QWidget*, QColor& colour) {
    Asked.append({TKind::Colour, colour.name(), {}, {}});
    const auto q = Take(TKind::Colour, "colour");
    if (!q || !q->Text || q->Text->isEmpty()) return false;
    colour = QColor(*q->Text);
    return true;
}

int TScriptedDialogs::Exec(QDialog& dialog) {
    Asked.append({TKind::Exec, dialog.windowTitle(), {}, {}});
    const auto q = Take(TKind::Exec, dialog.windowTitle());
    if (!q || !q->Run) return QDialog::Rejected;
    return q->Run(dialog);
}

}  // namespace velmar::gui
