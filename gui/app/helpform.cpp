#include "helpform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextStream>
#include <QVBoxLayout>

#include "app/appcontext.h"

namespace velmar::gui {

// The page view. Its one addition: a line (HTML) put at the top of one page while
// that page is loaded, which says that a topic was not found.
class THelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QString Notice;
    QUrl NoticePage;  // without fragment

    QVariant loadResource(int type, const QUrl& name) override {
        QVariant data = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::HtmlResource || Notice.isEmpty() || !Same(name, NoticePage)) return data;
        QString html = data.typeId() == QMetaType::QString ? data.toString() : QString::fromUtf8(data.toByteArray());
        const qsizetype body = html.indexOf("<body", 0, Qt::CaseInsensitive);
        const qsizetype at = body < 0 ? -1 : html.indexOf('>', body);
        return html.insert(at < 0 ? 0 : at + 1, Notice);
    }

    // The same page: the same file, whatever the fragment, relative or not.
    bool Same(const QUrl& a, const QUrl& b) const {
        const QUrl first = a.isRelative() ? source().resolved(a) : a;
        const QUrl second = b.isRelative() ? source().resolved(b) : b;
        return first.adjusted(QUrl::RemoveFragment) == second.adjusted(QUrl::RemoveFragment);
    }
};

namespace {

const char* const kContents = "Contents";

QString WithSlash(QString folder) {
    if (!folder.isEmpty() && !folder.endsWith('/')) folder += '/';
    return folder;
}

// The F1 key of every window, as an application event filter.
class THelpKey : public QObject {
public:
    THelpKey(QWidget* mainWindow, QString helpFolder)
        : QObject(mainWindow ? static_cast<QObject*>(mainWindow) : qApp),
          Folder(std::move(helpFolder)),
          Main(mainWindow) {
        setObjectName("velmarHelpKey");
    }
    QString Folder;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        if (!key->isAutoRepeat()) Help(Main, Folder).ShowTopic(HelpTopicOf(static_cast<QWidget*>(watched)));
        return true;
    }

private:
    QPointer<QWidget> Main;
};

}  // namespace

QString HelpFolderOf(const TAppPaths& paths) {
    const QString shipped = paths.DataFolder + "Help/";
    const QString own = paths.WritableDataFolder + "Help/";
    if (!QFileInfo::exists(shipped + "index.html") && QFileInfo::exists(own + "index.html")) return own;
    return shipped;
}

QList<QPair<QString, QString>> ReadHelpTopics(const QString& helpFolder) {
    QList<QPair<QString, QString>> topics;
    QFile file(WithSlash(helpFolder) + "topics.txt");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return topics;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';')) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        const QString topic = line.left(equals).trimmed(), target = line.mid(equals + 1).trimmed();
        if (!topic.isEmpty() && !target.isEmpty()) topics.append({topic, target});
    }
    return topics;
}

QString HelpTopicOf(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        const QString topic = widget->property("helpTopic").toString();
        if (!topic.isEmpty()) return topic;
    }
    return kContents;
}

THelpForm::THelpForm(const QString& helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), HelpFolder(WithSlash(helpFolder)), Topics(ReadHelpTopics(helpFolder)), Home(parent) {
    setWindowTitle("Velmar Help");
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    Browser = Pages = new THelpBrowser(this);
    Pages->setSearchPaths({HelpFolder});
    Pages->setOpenExternalLinks(true);
    btnBack = new QPushButton("&Back", this);
    btnForward = new QPushButton("&Forward", this);
    btnContents = new QPushButton("&Contents", this);
    btnBack->setEnabled(false);
    btnForward->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnBack, btnForward, btnContents}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addWidget(Pages, 1);
    resize(760, 560);

    connect(btnBack, &QPushButton::clicked, Pages, &QTextBrowser::backward);
    connect(btnForward, &QPushButton::clicked, Pages, &QTextBrowser::forward);
    connect(btnContents, &QPushButton::clicked, this, [this] { ShowTopic(kContents); });
    connect(Pages, &QTextBrowser::backwardAvailable, btnBack, &QWidget::setEnabled);
    connect(Pages, &QTextBrowser::forwardAvailable, btnForward, &QWidget::setEnabled);
    // The not-found line belongs to the one showing of the contents that it was made for.
    connect(Pages, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
        if (!Pages->Same(url, Pages->NoticePage)) Pages->Notice.clear();
    });
}

QUrl THelpForm::TopicUrl(const QString& topic) const {
    QString target;
    for (const auto& [name, page] : Topics)
        if (name == topic) target = page;
    if (target.isEmpty())
        for (const auto& [name, page] : Topics)
            if (target.isEmpty() && name.compare(topic, Qt::CaseInsensitive) == 0) target = page;
    if (target.isEmpty() && topic == kContents) target = "index.html";
    const qsizetype hash = target.indexOf('#');
    const QString file = hash < 0 ? target : target.left(hash);
    if (file.isEmpty() || !QFileInfo(HelpFolder + file).isFile()) return {};
    QUrl url = QUrl::fromLocalFile(HelpFolder + file);
    if (hash >= 0) url.setFragment(target.mid(hash + 1));
    return url;
}

QUrl THelpForm::ContentsUrl() const { return TopicUrl(kContents); }

QString THelpForm::CurrentTopic() const {
    const QUrl shown = Pages->source();
    QString first;
    for (const auto& [name, page] : Topics) {
        const QUrl url = TopicUrl(name);
        if (url.isEmpty()) continue;
        if (url == shown) return name;
        if (first.isEmpty() && url.adjusted(QUrl::RemoveFragment) == shown.adjusted(QUrl::RemoveFragment)) first = name;
    }
    return first;
}

void THelpForm::ShowTopic(const QString& asked) {
    const QString topic = asked.trimmed().isEmpty() ? QString(kContents) : asked;
    QUrl url = TopicUrl(topic);
    const bool found = !url.isEmpty();
    if (!found) url = ContentsUrl();
    if (url.isEmpty()) {
        Pages->setHtml("<p>The help pages are missing: there is no contents page in " +
                       QDir::toNativeSeparators(HelpFolder).toHtmlEscaped() + ".</p>");
        return Present();
    }
    const bool samePage = Pages->Same(Pages->source(), url);
    const bool noticeShown = !Pages->Notice.isEmpty();
    Pages->Notice =
        found ? QString() : "<p class=\"notice\"><b>The topic \"" + topic.toHtmlEscaped() + "\" was not found.</b></p>";
    Pages->NoticePage = url.adjusted(QUrl::RemoveFragment);
    Pages->setSource(url);
    // The page shown already is loaded again to show the line, or to take it away.
    if (samePage && (noticeShown || !found)) Pages->reload();
    Present();
}

void THelpForm::Adopt(QWidget* owner) {
    if (parentWidget() == owner) return;
    const bool shown = isVisible();
    const QRect place = geometry();
    setParent(owner, windowFlags() | Qt::Window);
    if (Placed) setGeometry(place);
    if (owner && owner != Home) owner->installEventFilter(this);
    if (shown) show();
}

void THelpForm::Present() {
    // A modal dialog blocks every window but its own: the help window joins the dialog meanwhile.
    QWidget* modal = QApplication::activeModalWidget();
    Adopt(modal && modal != this && !isAncestorOf(modal) ? modal : Home.data());
    if (isMinimized())
        showNormal();
    else
        show();
    Placed = true;
    raise();
    activateWindow();
}

bool THelpForm::eventFilter(QObject* watched, QEvent* event) {
    // The dialog it joined closes: back to the next modal dialog, else home.
    if (event->type() == QEvent::Hide && !event->spontaneous() && watched == parentWidget() && watched != Home) {
        watched->removeEventFilter(this);
        QWidget* modal = QApplication::activeModalWidget();
        Adopt(modal && modal != watched && modal != this ? modal : Home.data());
    }
    return QWidget::eventFilter(watched, event);
}

THelpForm& Help(QWidget* mainWindow, const QString& helpFolder) {
    static QPointer<THelpForm> form;
    static QPointer<QWidget> owner;
    if (!form || owner != mainWindow || form->Folder() != WithSlash(helpFolder)) {
        if (form && owner == mainWindow) form->deleteLater();
        form = new THelpForm(helpFolder, mainWindow);
        owner = mainWindow;
    }
    return *form;
}

void InstallHelpKey(QWidget* mainWindow, const QString& helpFolder) {
    QObject* home = mainWindow ? static_cast<QObject*>(mainWindow) : qApp;
    for (QObject* child : home->children())
        if (child->objectName() == "velmarHelpKey")
            if (auto* key = dynamic_cast<THelpKey*>(child)) {
                key->Folder = helpFolder;
                return;
            }
    qApp->installEventFilter(new THelpKey(mainWindow, helpFolder));
}

}  // namespace velmar::gui
