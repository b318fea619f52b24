#pragma once
// One window per user and display: a later start hands its files to the window
// that is open already, over a local socket only this user can reach, and ends.
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    // This user's socket for this display: in $XDG_RUNTIME_DIR (private to the
    // user) when set, else in the temporary folder; named by user id and display.
    static QString DefaultSocketPath();

    explicit SingleInstance(QString socketPath = DefaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Hands `paths` to the window listening on the socket; true once it confirmed
    // them. False when none listens, the socket is not this user's, or no answer
    // comes in time. Any thread.
    bool HandOver(const QStringList& paths, int timeoutMs = 3000) const;
    // Listens for later starts; false when a live window owns the socket already
    // or the place is taken by something that is not this user's socket.
    bool Listen();
    const QString& SocketPath() const { return path_; }

  signals:
    void PathsReceived(const QStringList& paths);

  private:
    void OnConnection();

    QString path_;
    QLocalServer* server_ = nullptr;
};
