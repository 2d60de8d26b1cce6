#pragma once
// What the window tests share: temporary DATA and settings folders, real MP3
// files copied from data/samples, and a main window answered by script.
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "browser/MP3ListView.h"
#include "browser/browser.h"
#include "main/mainform.h"
#include "scripteddialogs.h"

namespace velmar::gui::test {

inline QString Samples() { return QStringLiteral(VELMAR_SAMPLES); }

// A file's bytes; "<missing>" when it cannot be read, so it never equals an empty file.
inline QByteArray ReadAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline QStringList SampleFiles() {
    QStringList out;
    for (const QString& name : QDir(Samples()).entryList({"*.mp3"}, QDir::Files, QDir::Name))
        out << Samples() + "/" + name;
    return out;
}

// A folder of its own for one test: DATA (with the palettes), settings, and files.
class TWorkspace {
public:
    TWorkspace() {
        QDir().mkpath(Data() + "GFX/COLTAB");
        const QString palettes = QStringLiteral(VELMAR_SOURCE_DATA) + "/GFX/COLTAB/";
        for (const QString& name : QDir(palettes).entryList(QDir::Files))
            QFile::copy(palettes + name, Data() + "GFX/COLTAB/" + name);
        QDir().mkpath(Files());
    }
    QString Root() const { return Dir.path() + "/"; }
    QString Data() const { return Root() + "DATA/"; }
    QString Config() const { return Root() + "config/"; }
    QString Files() const { return Root() + "files/"; }
    TAppPaths Paths() const { return TAppPaths::ForFolders(Data(), Config()); }

    // A copy of sample `index` under files/ + `relative`.
    QString Copy(int index, const QString& relative) const {
        const QString target = Files() + relative;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        if (!QFile::copy(SampleFiles().at(index), target)) qFatal("cannot copy a sample to %s", qPrintable(target));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }
    // The first `size` bytes of sample `index`: a real stream cut to an exact size.
    QString Cut(int index, const QString& relative, qint64 size) const {
        const QString target = Copy(index, relative);
        QFile f(target);
        if (!f.resize(size)) qFatal("cannot cut %s", qPrintable(target));
        return target;
    }

private:
    QTemporaryDir Dir;
};

// A started main window over a workspace, with every dialog answered by script.
struct TApp {
    explicit TApp(const TWorkspace& ws) : Main(ws.Paths(), Dialogs) {
        Main.show();
        Main.FirstActivation();
    }
    ~TApp() {
        for (auto* b : Main.Browsers()) b->ClosingWithoutPrompt = true;
        Main.close();
    }
    TBrowserForm* Browser() {
        TBrowserForm* b = Main.NewBrowser();
        b->UpdateStatus();
        return b;
    }
    TScriptedDialogs Dialogs;
    TMainForm Main;
};

inline QStringList Column(TBrowserForm* b, const QString& caption) {
    QStringList out;
    for (int r = 0; r < b->MP3ListView->Count(); ++r) {
        QString text;
        b->MP3ListView->GetField(r, caption, text);
        out << text;
    }
    return out;
}

inline QStringList FileNames(TBrowserForm* b) {
    QStringList out;
    for (int r = 0; r < b->MP3ListView->Count(); ++r) out << b->MP3ListView->FileNameAt(r);
    return out;
}

inline std::vector<char> Flags(std::initializer_list<int> bits) {
    std::vector<char> out;
    for (int b : bits) out.push_back(char(b));
    return out;
}

// The output formats shipped with the program, in the workspace's DATA folder.
inline void ShipFormats(const TWorkspace& ws) {
    const QString shipped = QStringLiteral(VELMAR_SOURCE_DATA) + "/Outputs/";
    for (const QString& mode : QDir(shipped).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir().mkpath(ws.Data() + "Outputs/" + mode);
        for (const QString& name : QDir(shipped + mode).entryList(QDir::Files))
            QFile::copy(shipped + mode + "/" + name, ws.Data() + "Outputs/" + mode + "/" + name);
    }
}

// A modal window as the program shows it: shown, worked by `work`, its result.
template <typename TForm, typename TWork>
std::function<int(QDialog&)> Shown(TWork work) {
    return [work](QDialog& dialog) {
        dialog.show();
        work(dynamic_cast<TForm&>(dialog));
        dialog.hide();
        return dialog.result();
    };
}

}  // namespace velmar::gui::test
