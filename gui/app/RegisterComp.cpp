#include "RegisterComp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include "views/listcells.h"

namespace velmar::gui {

namespace {

// QSettings reads "/" as a group separator; captions such as "Artist / Group" keep it.
QString Encode(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        if (c == '%')
            out += "%25";
        else if (c == '/')
            out += "%2F";
        else if (c == '\\')
            out += "%5C";
        else
            out += c;
    }
    return out;
}

QString Decode(const QString& name) {
    if (!name.contains('%')) return name;
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            bool ok = false;
            const int code = name.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

QString ValueText(const QVariant& v) {
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(',');
    return v.toString();
}

// The sections that seed the column layout.
const char* const kColumnAll = "Column All";
const char* const kColumnPos = "Column Pos";
const char* const kColumnWidth = "Column Width";

}  // namespace

TRegisterComp::TRegisterComp(const QString& iniFile) {
    if (iniFile.isEmpty()) {
        Store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Orvane Design", "Velmar");
    } else {
        QDir().mkpath(QFileInfo(iniFile).absolutePath());
        Store = std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
    }
}

TRegisterComp::~TRegisterComp() = default;

QString TRegisterComp::FileName() const { return Store->fileName(); }

void TRegisterComp::Open() {
    if (SectionExists(kColumnPos) && SectionExists(kColumnWidth) && SectionExists("Preferences")) return;
    const bool all = SectionExists(kColumnAll), pos = SectionExists(kColumnPos), width = SectionExists(kColumnWidth);
    int number = 0;
    for (const TColumnDefault& column : ColumnCatalogue()) {
        const QString caption = QString::fromUtf8(column.Caption);
        if (!all) WriteInteger(kColumnAll, caption, number);
        if (!pos && column.Position >= 0) WriteInteger(kColumnPos, caption, column.Position);
        if (!width) WriteInteger(kColumnWidth, caption, column.Width);
        ++number;
    }
}

void TRegisterComp::Close() { Store->sync(); }

QStringList TRegisterComp::Sections() const {
    QStringList out;
    for (const QString& group : Store->childGroups()) out << Decode(group);
    return out;
}

bool TRegisterComp::SectionExists(const QString& section) const {
    for (const QString& group : Store->childGroups())
        if (Decode(group).compare(section, Qt::CaseInsensitive) == 0) return true;
    return false;
}

TNameValueList TRegisterComp::ReadSection(const QString& section) const {
    TNameValueList out;
    for (const QString& group : Store->childGroups()) {
        if (Decode(group).compare(section, Qt::CaseInsensitive) != 0) continue;
        Store->beginGroup(group);
        for (const QString& key : Store->childKeys()) out.append({Decode(key), ValueText(Store->value(key))});
        Store->endGroup();
        break;
    }
    return out;
}

QString TRegisterComp::CaptionAtPosition(int position, const TNameValueList& columnPos) {
    const QString wanted = QString::number(position);
    for (const auto& [name, value] : columnPos)
        if (value == wanted) return name;
    return {};
}

QString TRegisterComp::StoredName(const QString& section, const QString& name) const {
    QString group = Encode(section);
    for (const QString& g : Store->childGroups())
        if (Decode(g).compare(section, Qt::CaseInsensitive) == 0) group = g;
    Store->beginGroup(group);
    QString key = Encode(name);
    for (const QString& k : Store->childKeys())
        if (Decode(k).compare(name, Qt::CaseInsensitive) == 0) {
            key = k;
            break;
        }
    Store->endGroup();
    return group + '/' + key;
}

bool TRegisterComp::ValueExists(const QString& section, const QString& name) const {
    return Store->contains(StoredName(section, name));
}

QString TRegisterComp::ReadString(const QString& section, const QString& name, const QString& def) const {
    const QString key = StoredName(section, name);
    return Store->contains(key) ? ValueText(Store->value(key)) : def;
}

int TRegisterComp::ReadInteger(const QString& section, const QString& name, int def) const {
    bool ok = false;
    const int value = ReadString(section, name, QString()).trimmed().toInt(&ok);
    return ok ? value : def;
}

bool TRegisterComp::ReadBool(const QString& section, const QString& name, bool def) const {
    return ReadInteger(section, name, def ? 1 : 0) != 0;
}

void TRegisterComp::WriteString(const QString& section, const QString& name, const QString& value) {
    Store->setValue(StoredName(section, name), value);
}

void TRegisterComp::WriteInteger(const QString& section, const QString& name, int value) {
    WriteString(section, name, QString::number(value));
}

void TRegisterComp::WriteBool(const QString& section, const QString& name, bool value) {
    WriteString(section, name, value ? "1" : "0");
}

void TRegisterComp::EraseSection(const QString& section) {
    for (const QString& g : Store->childGroups())
        if (Decode(g).compare(section, Qt::CaseInsensitive) == 0) Store->remove(g);
}

QString TRegisterComp::CleanPlayCommand(QString command) {
    const qsizetype percent = command.indexOf('%');
    if (percent >= 0) command.truncate(percent);
    if (command.startsWith('"')) command.remove(0, 1);
    if (command.endsWith('"')) command.chop(1);
    while (!command.isEmpty() && (command.endsWith(' ') || command.endsWith('"'))) command.chop(1);
    return command;
}

QString TRegisterComp::PlayCommandFor(const QString& ext) {
#ifdef Q_OS_WIN
    // The file-type registry: ext\shell\play\command, else the type named by ".ext".
    QSettings classes("HKEY_CLASSES_ROOT", QSettings::NativeFormat);
    QString command = classes.value(ext + "/shell/play/command/.").toString();
    if (command.isEmpty()) {
        const QString type = classes.value("." + ext + "/.").toString();
        if (!type.isEmpty()) command = classes.value(type + "/shell/play/command/.").toString();
    }
    return CleanPlayCommand(command);
#else
    // The desktop's registered handler for the extension's type, as xdg-mime names it.
    const QString mime = QMimeDatabase().mimeTypeForFile("x." + ext, QMimeDatabase::MatchExtension).name();
    const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
    if (mime.isEmpty() || xdgMime.isEmpty()) return {};
    QProcess query;
    query.start(xdgMime, {"query", "default", mime});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    const QString desktopId = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (desktopId.isEmpty()) return {};
    const QString desktopFile = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    QFile file(desktopFile);
    if (desktopFile.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.startsWith("Exec="))
            return CleanPlayCommand(line.mid(5));
    }
    return {};
#endif
}

bool OverrideReadOnly(const TRegisterComp& store) { return store.ReadBool("Preferences", "Override ReadOnly", false); }

}  // namespace velmar::gui
