#pragma once
// Only one copy of the program runs per user and settings file: a second start
// hands the files of its command line to the first over a local socket and ends.
#include <QObject>
#include <QStringList>

class QLocalServer;

namespace velmar::gui {

class TInstanceGuard : public QObject {
    Q_OBJECT
public:
    // `name`: the socket (TAppPaths::InstanceName()); empty: no single instance.
    explicit TInstanceGuard(const QString& name, QObject* parent = nullptr);
    // True when another copy of this user runs and took the paths (already made absolute).
    bool HandOver(const QStringList& paths);
    // Becomes the first copy; a name left behind by a copy that crashed is removed.
    bool Listen();

signals:
    // Another start happened; `paths` are the files it was given (may be empty).
    void Woken(const QStringList& paths);

private:
    void Accept();
    QString Name;
    QLocalServer* Server = nullptr;
};

}  // namespace velmar::gui
