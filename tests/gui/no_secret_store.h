// A secret store for the archive tests: every read finds nothing and every
// write fails, as on a machine without a secret service; the tests never
// touch a real one.
#pragma once

#include <QTimer>

#include "viewer/server_secrets.h"

class NoSecretStore : public ServerSecrets {
public:
    void read(const QString&, std::function<void(bool, const QString&)> done) override
    {
        QTimer::singleShot(0, this, [done] { done(false, {}); });
    }
    void write(const QString&, const QString&, std::function<void(bool)> done) override
    {
        QTimer::singleShot(0, this, [done] { done(false); });
    }
    void remove(const QString&) override {}
};
