#pragma once
// The settings store: sections of text values under the root
// "Software\Orvane Design\Velmar\" (the registry on Windows, an INI file elsewhere).
// Integers are kept in decimal, booleans as "0" or "1"; value names are found
// without regard to case.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

namespace velmar::gui {

using TNameValueList = QList<QPair<QString, QString>>;

class TRegisterComp {
public:
    // `iniFile` empty: the platform's native store for "Orvane Design" / "Velmar".
    explicit TRegisterComp(const QString& iniFile);
    ~TRegisterComp();

    // Opens the root; when "Column Pos", "Column Width" or "Preferences" is missing,
    // writes the column defaults into each of "Column All", "Column Pos" and
    // "Column Width" that does not exist yet.
    void Open();
    void Close();  // writes everything out

    TNameValueList ReadSection(const QString& section) const;
    bool SectionExists(const QString& section) const;
    QStringList Sections() const;
    // The first name whose value is the decimal text of `position`, or empty text.
    static QString CaptionAtPosition(int position, const TNameValueList& columnPos);

    bool ValueExists(const QString& section, const QString& name) const;
    QString ReadString(const QString& section, const QString& name, const QString& def) const;
    int ReadInteger(const QString& section, const QString& name, int def) const;
    bool ReadBool(const QString& section, const QString& name, bool def) const;
    void WriteString(const QString& section, const QString& name, const QString& value);
    void WriteInteger(const QString& section, const QString& name, int value);
    void WriteBool(const QString& section, const QString& name, bool value);
    void EraseSection(const QString& section);

    // The desktop's command for playing files of extension `ext` ("mp3"): the program
    // of the registered handler, without arguments, quotes or trailing blanks.
    static QString PlayCommandFor(const QString& ext);
    // Cuts everything from the first "%", then a leading and a trailing double quote,
    // then trailing blanks and double quotes.
    static QString CleanPlayCommand(QString command);

    QString FileName() const;

private:
    QString StoredName(const QString& section, const QString& name) const;  // the stored key, any case
    std::unique_ptr<QSettings> Store;
};

// "Override ReadOnly" of section "Preferences": files the user may not write still
// open for editing. Off unless stored on; every window that shows or uses it reads it here.
bool OverrideReadOnly(const TRegisterComp& store);

}  // namespace velmar::gui
