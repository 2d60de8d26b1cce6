// The help window and the help pages: every topic the program asks for lands on its
// section, the pages are well-formed and self-contained and their links lead somewhere,
// and the window shows topics, unknown topics and F1 as it should.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include "app/appcontext.h"
#include "app/helpform.h"

using namespace velmar::gui;

namespace {

QString HelpFolder() { return QStringLiteral(VELMAR_SOURCE_DATA) + "/Help/"; }

// Every topic that the windows, F1 and the help buttons ask for.
const QStringList kProgramTopics = {"Contents",
                                    "WhatsNew",
                                    "Main_Window",
                                    "Browser_Window",
                                    "Playlists",
                                    "Search",
                                    "History",
                                    "Tag_Editor",
                                    "BPM_Counter",
                                    "Output_Formats",
                                    "Rename_Files",
                                    "Filename_To_Tag_Wizard",
                                    "Make_List",
                                    "Match_To_Time",
                                    "Wipe_Tags",
                                    "MPEG_Stream_Checker",
                                    "Player",
                                    "Equalizer",
                                    "Preferences",
                                    "Skins",
                                    "Command_Line",
                                    "Files"};

// What one page holds, read as XML: a page that is not well-formed fails the test.
struct TPage {
    QString Error;  // empty when the page parsed
    QStringList Anchors;
    QStringList Links;      // href of <a>
    QStringList Resources;  // href of <link>, src of anything
    QStringList Elements;   // names of all elements
    QString Title;
};

TPage ReadPage(const QString& file) {
    TPage page;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        page.Error = "cannot open";
        return page;
    }
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError()) page.Error = "not UTF-8";
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QString name = xml.name().toString();
        page.Elements << name;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.hasAttribute("id")) page.Anchors << attributes.value("id").toString();
        if (name == "a" && attributes.hasAttribute("name")) page.Anchors << attributes.value("name").toString();
        if (name == "a" && attributes.hasAttribute("href")) page.Links << attributes.value("href").toString();
        if (name == "link") {
            page.Resources << attributes.value("href").toString();
            // The page view loads a style sheet only when it says it is one, with its type.
            if (attributes.value("rel") != u"stylesheet" || attributes.value("type") != u"text/css")
                page.Error = "a <link> that is not a text/css style sheet";
        }
        if (attributes.hasAttribute("src")) page.Resources << attributes.value("src").toString();
        if (name == "title") page.Title = xml.readElementText();
    }
    if (xml.hasError() && page.Error.isEmpty())
        page.Error = QString("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return page;
}

QMap<QString, TPage> ReadPages(const QString& folder) {
    QMap<QString, TPage> pages;
    for (const QString& name : QDir(folder).entryList({"*.html", "*.htm"}, QDir::Files))
        pages.insert(name, ReadPage(folder + name));
    return pages;
}

void WriteFile(const QString& file, const QByteArray& text) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(file));
}

const QByteArray kTinyIndex =
    "<html><body><h1 id=\"Contents\">Tiny contents</h1><p><a href=\"a.html#Alpha\">Alpha</a></p></body></html>";

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private slots:
    void everyProgramTopicLandsOnItsSection() {
        const auto topics = ReadHelpTopics(HelpFolder());
        QMap<QString, QString> index;
        for (const auto& [topic, target] : topics) {
            QVERIFY2(!index.contains(topic), qPrintable("listed twice: " + topic));
            index.insert(topic, target);
        }
        const QMap<QString, TPage> pages = ReadPages(HelpFolder());
        for (const QString& topic : kProgramTopics) {
            QVERIFY2(index.contains(topic), qPrintable("not in topics.txt: " + topic));
            const QString target = index.value(topic);
            const QString file = target.section('#', 0, 0), anchor = target.section('#', 1);
            QVERIFY2(pages.contains(file), qPrintable(topic + ": no page " + file));
            QVERIFY2(pages[file].Anchors.contains(anchor), qPrintable(topic + ": no anchor " + target));
            // The anchor is named exactly as the topic, so that a section can be found by its topic.
            QCOMPARE(anchor, topic);
        }
        // Nothing in the index leads nowhere either.
        for (const auto& [topic, target] : topics) {
            const QString file = target.section('#', 0, 0), anchor = target.section('#', 1);
            QVERIFY2(pages.contains(file) && pages[file].Anchors.contains(anchor), qPrintable(topic + "=" + target));
        }
    }

    void pagesAreWellFormedAndSelfContained() {
        const QMap<QString, TPage> pages = ReadPages(HelpFolder());
        QVERIFY(pages.size() >= 10);
        QVERIFY(QFileInfo::exists(HelpFolder() + "style.css"));
        for (auto it = pages.begin(); it != pages.end(); ++it) {
            const TPage& page = it.value();
            QVERIFY2(page.Error.isEmpty(), qPrintable(it.key() + ": " + page.Error));
            QVERIFY2(!page.Title.trimmed().isEmpty(), qPrintable(it.key() + ": no title"));
            QVERIFY2(!page.Elements.contains("script"), qPrintable(it.key() + ": a script"));
            for (const char* element : {"img", "iframe", "object", "embed"})
                QVERIFY2(!page.Elements.contains(QString(element)), qPrintable(it.key() + ": " + element));
            QCOMPARE(page.Resources, QStringList({"style.css"}));
            // No id twice on one page: a link to it would land on the first one only.
            QCOMPARE(QSet<QString>(page.Anchors.begin(), page.Anchors.end()).size(), page.Anchors.size());
        }
    }

    void everyInternalLinkLeadsToAPageAndAnchor() {
        const QMap<QString, TPage> pages = ReadPages(HelpFolder());
        for (auto it = pages.begin(); it != pages.end(); ++it)
            for (const QString& link : it.value().Links) {
                QVERIFY2(!link.contains(':') && !link.startsWith("//"),
                         qPrintable(it.key() + ": a link out of the help: " + link));
                const QString file = link.section('#', 0, 0).isEmpty() ? it.key() : link.section('#', 0, 0);
                const QString anchor = link.section('#', 1);
                QVERIFY2(pages.contains(file), qPrintable(it.key() + ": no page " + link));
                if (!anchor.isEmpty())
                    QVERIFY2(pages[file].Anchors.contains(anchor), qPrintable(it.key() + ": no anchor " + link));
            }
        // Every page can be reached from the contents.
        QSet<QString> linked;
        for (const QString& link : pages["index.html"].Links) linked << link.section('#', 0, 0);
        for (const QString& name : pages.keys())
            if (name != "index.html") QVERIFY2(linked.contains(name), qPrintable("not on the contents: " + name));
    }

    void topicIndexSkipsCommentsAndBrokenLines() {
        QTemporaryDir dir;
        WriteFile(dir.path() + "/topics.txt",
                  "# a comment\n; another\n\n  Alpha = a.html#Alpha  \r\n=nothing\nno equals sign\nBeta=\n"
                  "Gamma=g.html\n");
        const auto topics = ReadHelpTopics(dir.path());
        QCOMPARE(topics.size(), 2);
        QCOMPARE(topics[0], qMakePair(QString("Alpha"), QString("a.html#Alpha")));
        QCOMPARE(topics[1], qMakePair(QString("Gamma"), QString("g.html")));
        QVERIFY(ReadHelpTopics(dir.path() + "/missing").isEmpty());
    }

    void showTopicShowsTheSection() {
        QWidget main;
        THelpForm& help = Help(&main, HelpFolder());
        help.ShowTopic("Filename_To_Tag_Wizard");
        QVERIFY(help.isVisible());
        QCOMPARE(help.windowTitle(), QString("Velmar Help"));
        QCOMPARE(help.parentWidget(), &main);
        QVERIFY(help.isWindow());
        const QUrl source = help.Browser->source();
        QCOMPARE(source.fragment(), QString("Filename_To_Tag_Wizard"));
        QCOMPARE(QFileInfo(source.toLocalFile()).fileName(), QString("wizard.html"));
        QVERIFY(help.Browser->toPlainText().contains("Filename To Tag Wizard"));
        QVERIFY(!help.Browser->toPlainText().contains("was not found"));
        QCOMPARE(help.CurrentTopic(), QString("Filename_To_Tag_Wizard"));
        // The one help window of that main window; names are found without regard to case.
        QCOMPARE(&Help(&main, HelpFolder()), &help);
        help.ShowTopic("bpm_counter");
        QCOMPARE(help.Browser->source().fragment(), QString("BPM_Counter"));
        QCOMPARE(help.CurrentTopic(), QString("BPM_Counter"));
    }

    void backForwardAndContentsButtons() {
        QWidget main;
        THelpForm& help = Help(&main, HelpFolder());
        help.ShowTopic("Tag_Editor");
        QVERIFY(!help.btnBack->isEnabled());
        help.ShowTopic("Wipe_Tags");
        QVERIFY(help.btnBack->isEnabled());
        help.btnBack->click();
        QCOMPARE(help.CurrentTopic(), QString("Tag_Editor"));
        QVERIFY(help.btnForward->isEnabled());
        help.btnForward->click();
        QCOMPARE(help.CurrentTopic(), QString("Wipe_Tags"));
        help.btnContents->click();
        QCOMPARE(help.CurrentTopic(), QString("Contents"));
        QCOMPARE(QFileInfo(help.Browser->source().toLocalFile()).fileName(), QString("index.html"));
        // A link without fragment: the first topic of its page.
        help.Browser->setSource(QUrl::fromLocalFile(HelpFolder() + "windows.html"));
        QCOMPARE(help.CurrentTopic(), QString("Main_Window"));
    }

    void escapeClosesTheHelpWindow() {
        QWidget main;
        THelpForm& help = Help(&main, HelpFolder());
        help.ShowTopic("Tag_Editor");
        help.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&help));
        QVERIFY(help.isVisible());
        QTest::keyClick(help.Browser, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
    }

    void unknownTopicShowsContentsWithNotFoundLine() {
        QWidget main;
        THelpForm& help = Help(&main, HelpFolder());
        const QString line = "The topic \"No_Such_Topic\" was not found.";
        help.ShowTopic("Make_List");
        help.ShowTopic("No_Such_Topic");
        QCOMPARE(QFileInfo(help.Browser->source().toLocalFile()).fileName(), QString("index.html"));
        QVERIFY(help.Browser->toPlainText().contains(line));
        QVERIFY(help.Browser->toPlainText().contains("Working on many files"));  // the contents themselves
        QCOMPARE(help.CurrentTopic(), QString("Contents"));
        // The contents asked for by name: the same page, without the line; no name means the contents.
        help.ShowTopic("Contents");
        QVERIFY(!help.Browser->toPlainText().contains("was not found"));
        help.ShowTopic(" ");
        QCOMPARE(help.CurrentTopic(), QString("Contents"));
        QVERIFY(!help.Browser->toPlainText().contains("was not found"));
        // Unknown while the contents are shown already: the line comes back.
        help.ShowTopic("<b>Other</b>");
        QVERIFY(help.Browser->toPlainText().contains("The topic \"<b>Other</b>\" was not found."));
        // A link elsewhere and back again: the line belonged to that one showing.
        help.Browser->setSource(QUrl::fromLocalFile(HelpFolder() + "player.html"));
        help.btnBack->click();
        QCOMPARE(QFileInfo(help.Browser->source().toLocalFile()).fileName(), QString("index.html"));
        QVERIFY(!help.Browser->toPlainText().contains("was not found"));
    }

    void topicWhosePageIsMissingCountsAsUnknown() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/Help/";
        WriteFile(folder + "topics.txt", "Contents=index.html#Contents\nAlpha=a.html#Alpha\nGone=gone.html#Gone\n");
        WriteFile(folder + "index.html", kTinyIndex);
        WriteFile(folder + "a.html", "<html><body><h1 id=\"Alpha\">Alpha page</h1></body></html>");
        QWidget main;
        THelpForm& help = Help(&main, folder);
        QVERIFY(help.TopicUrl("Gone").isEmpty());
        QCOMPARE(help.TopicUrl("Alpha"), [&] {
            QUrl url = QUrl::fromLocalFile(folder + "a.html");
            url.setFragment("Alpha");
            return url;
        }());
        help.ShowTopic("Gone");
        QVERIFY(help.Browser->toPlainText().contains("Tiny contents"));
        QVERIFY(help.Browser->toPlainText().contains("The topic \"Gone\" was not found."));
        help.ShowTopic("Alpha");
        QVERIFY(help.Browser->toPlainText().contains("Alpha page"));
    }

    void folderWithoutContentsSaysSo() {
        QTemporaryDir dir;
        QWidget main;
        THelpForm& help = Help(&main, dir.path());
        help.ShowTopic("Contents");
        QVERIFY(help.isVisible());
        QVERIFY(help.Browser->toPlainText().contains("The help pages are missing"));
    }

    void f1ShowsTheTopicOfTheNearestWidgetThatNamesOne() {
        QWidget main;
        auto* window = new QWidget(&main, Qt::Window);
        window->setProperty("helpTopic", "Make_List");
        auto* panel = new QWidget(window);
        auto* edit = new QLineEdit(panel);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(panel);
        auto* other = new QLineEdit(&main);
        InstallHelpKey(&main, HelpFolder());
        InstallHelpKey(&main, HelpFolder());  // once is enough: a second filter would show twice
        QCOMPARE(main.findChildren<QObject*>("velmarHelpKey").size(), 1);
        QCOMPARE(HelpTopicOf(edit), QString("Make_List"));
        QCOMPARE(HelpTopicOf(other), QString("Contents"));
        window->show();
        edit->setFocus();

        QTest::keyClick(edit, Qt::Key_F1, Qt::ShiftModifier);
        QVERIFY(!Help(&main, HelpFolder()).isVisible());
        QTest::keyClick(edit, Qt::Key_F1);
        THelpForm& help = Help(&main, HelpFolder());
        QVERIFY(help.isVisible());
        QCOMPARE(help.CurrentTopic(), QString("Make_List"));
        QCOMPARE(help.Browser->source().fragment(), QString("Make_List"));

        main.show();
        QTest::keyClick(other, Qt::Key_F1);
        QCOMPARE(help.CurrentTopic(), QString("Contents"));
    }

    void helpStaysUsableWhileAModalDialogRuns() {
        QWidget main;
        main.show();
        THelpForm& help = Help(&main, HelpFolder());
        QDialog dialog(&main);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        help.ShowTopic("Rename_Files");
        // Joined to the dialog, which every other window is blocked by.
        QCOMPARE(help.parentWidget(), &dialog);
        QVERIFY(help.isVisible() && help.isWindow());
        dialog.hide();
        QCOMPARE(help.parentWidget(), &main);
        QVERIFY(help.isVisible() && help.isWindow());
        QCOMPARE(help.CurrentTopic(), QString("Rename_Files"));
    }

    void helpFolderPrefersTheShippedPages() {
        QTemporaryDir dir;
        TAppPaths paths = TAppPaths::ForFolders(dir.path() + "/DATA", dir.path() + "/config");
        paths.WritableDataFolder = dir.path() + "/own/";
        QCOMPARE(HelpFolderOf(paths), paths.DataFolder + "Help/");
        WriteFile(paths.WritableDataFolder + "Help/index.html", kTinyIndex);
        QCOMPARE(HelpFolderOf(paths), paths.WritableDataFolder + "Help/");
        WriteFile(paths.DataFolder + "Help/index.html", kTinyIndex);
        QCOMPARE(HelpFolderOf(paths), paths.DataFolder + "Help/");
    }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
