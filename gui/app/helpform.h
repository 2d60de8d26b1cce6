#pragma once
// THelpForm ("Velmar Help"): the help window. It shows the HTML pages of the help
// folder (the DATA folder's Help/); a topic is the name of a section, such as
// "Filename_To_Tag_Wizard", and the folder's topics.txt names the page and anchor
// of each topic ("Filename_To_Tag_Wizard=wizard.html#Filename_To_Tag_Wizard").
#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace velmar::gui {

struct TAppPaths;
class THelpBrowser;

// The help pages' folder, with a trailing "/": the DATA folder's Help/, or the
// writable DATA folder's Help/ when only that one holds the contents page.
QString HelpFolderOf(const TAppPaths& paths);

// Each topic of a help folder's topics.txt with its page and anchor, in the order of
// the file. Lines are "Topic=page.html#anchor"; empty lines and lines beginning with
// "#" or ";" are skipped. Empty without the file.
QList<QPair<QString, QString>> ReadHelpTopics(const QString& helpFolder);

// The topic F1 shows for a widget: the "helpTopic" property of the widget or of its
// nearest parent that has one, else "Contents".
QString HelpTopicOf(const QWidget* widget);

class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(const QString& helpFolder, QWidget* parent = nullptr);

    // Shows the window at a topic: its page, scrolled to its anchor; "Contents" is the
    // contents page. An unknown topic (or one whose page is missing) shows the contents
    // page with a line at its top saying that the topic was not found; an empty topic is
    // "Contents". The window comes up usable even while a modal dialog is open.
    void ShowTopic(const QString& topic);
    // The topic of the section shown: the one whose page and anchor are shown, else
    // the first topic of the page shown; empty for a page without topics.
    QString CurrentTopic() const;
    // The page and anchor of a topic as a file URL (names match exactly, else without
    // regard to case); empty for an unknown topic or a missing page.
    QUrl TopicUrl(const QString& topic) const;
    QString Folder() const { return HelpFolder; }

    QTextBrowser* Browser;
    QPushButton* btnBack;
    QPushButton* btnForward;
    QPushButton* btnContents;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QUrl ContentsUrl() const;
    // Makes `owner` the window's parent, keeping its place, size and visibility.
    void Adopt(QWidget* owner);
    void Present();

    THelpBrowser* Pages;  // Browser, with the not-found line
    QString HelpFolder;
    QList<QPair<QString, QString>> Topics;
    QPointer<QWidget> Home;  // the parent it was made with, returned to after a modal dialog
    bool Placed = false;     // shown once, so its place and size are the user's
};

// The program's one help window, made at the first call as a child of `mainWindow`
// (made anew when that window or the folder changes).
THelpForm& Help(QWidget* mainWindow, const QString& helpFolder);

// F1 on any window shows HelpTopicOf the focused widget in Help(mainWindow,
// helpFolder). Installs an event filter on the application that lives as long as
// `mainWindow`; a second call for the same window only changes the folder.
void InstallHelpKey(QWidget* mainWindow, const QString& helpFolder);

}  // namespace velmar::gui
