// The passwords and tokens of the configured archives, kept in the desktop's
// secret store (service "velmor", key = the server's name) when it has one.
// Each call answers later, on the GUI thread, through its callback. Without a
// store (no secret service on the session bus) reads find nothing and writes
// fail: nothing is ever written in clear anywhere.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class ServerSecrets : public QObject {
    Q_OBJECT

public:
    explicit ServerSecrets(QObject* parent = nullptr);

    // `found` false when the store has no secret for the server, or no store answers.
    virtual void read(const QString& server, std::function<void(bool found, const QString& secret)> done);
    // `stored` false when no store took it.
    virtual void write(const QString& server, const QString& secret, std::function<void(bool stored)> done);
    virtual void remove(const QString& server);
};
