// Platform layer (Qt): one program per working folder. The settings file and the logs
// live in the folder current at start, so two programs there would share them and the
// port; a second start asks the first to show its window and ends.
#pragma once
#include <QObject>
#include <QString>

class QLocalServer;

namespace kc {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` is the working folder; its canonical path names the instance.
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another program already runs in the folder; it has been asked to come
    // to the front. Otherwise this one now answers later starts and false is returned.
    bool another_is_running();

    // The local socket name for a folder (per user, per canonical path).
    static QString server_name(const QString& folder);

signals:
    // A later start in the same folder asked to be shown instead.
    void raise_requested();

private:
    bool ask_running();

    QString name_;
    QLocalServer* server_ = nullptr;
};

}  // namespace kc
