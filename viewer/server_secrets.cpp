#include "viewer/server_secrets.h"

#include <qt6keychain/keychain.h>

namespace {

const QString service = QStringLiteral("velmor");

} // namespace

ServerSecrets::ServerSecrets(QObject* parent) : QObject(parent) {}

void ServerSecrets::read(const QString& server, std::function<void(bool, const QString&)> done)
{
    auto* job = new QKeychain::ReadPasswordJob(service, this);
    job->setKey(server);
    job->setInsecureFallback(false); // never the settings file
    // The answer is dropped when this object goes first.
    connect(job, &QKeychain::Job::finished, this, [job, done = std::move(done)] {
        const bool found = job->error() == QKeychain::NoError;
        done(found, found ? job->textData() : QString());
    });
    job->start();
}

void ServerSecrets::write(const QString& server, const QString& secret, std::function<void(bool)> done)
{
    auto* job = new QKeychain::WritePasswordJob(service, this);
    job->setKey(server);
    job->setInsecureFallback(false); // never the settings file
    job->setTextData(secret);
    connect(job, &QKeychain::Job::finished, this,
            [job, done = std::move(done)] { done(job->error() == QKeychain::NoError); });
    job->start();
}

void ServerSecrets::remove(const QString& server)
{
    auto* job = new QKeychain::DeletePasswordJob(service, this);
    job->setKey(server);
    job->setInsecureFallback(false); // never the settings file
    job->start();
}
