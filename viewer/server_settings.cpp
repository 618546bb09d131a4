#include "viewer/server_settings.h"

#include <QSettings>

namespace {

QSettings settings() { return QSettings(QStringLiteral("velmor"), QStringLiteral("velmor")); }

QString text(const std::string& value) { return QString::fromStdString(value); }
std::string text(const QVariant& value) { return value.toString().toStdString(); }

} // namespace

std::vector<Server> load_servers()
{
    QSettings store = settings();
    std::vector<Server> servers;
    const int count = store.beginReadArray(QStringLiteral("servers"));
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        Server s;
        s.name = text(store.value(QStringLiteral("name")));
        s.protocol = store.value(QStringLiteral("protocol")).toString() == QStringLiteral("dimse")
                         ? ServerProtocol::dimse
                         : ServerProtocol::dicomweb;
        s.base_url = text(store.value(QStringLiteral("url")));
        s.user = text(store.value(QStringLiteral("user")));
        s.allow_self_signed = store.value(QStringLiteral("allowSelfSigned"), false).toBool();
        s.host = text(store.value(QStringLiteral("host")));
        s.port = static_cast<uint16_t>(store.value(QStringLiteral("port"), 104).toUInt());
        s.called_ae = text(store.value(QStringLiteral("calledAe")));
        s.calling_ae = text(store.value(QStringLiteral("callingAe"), QStringLiteral("VELMOR")));
        s.move_port = static_cast<uint16_t>(store.value(QStringLiteral("movePort"), 0).toUInt());
        s.prefer_move = store.value(QStringLiteral("preferMove"), false).toBool();
        s.timeout_seconds = store.value(QStringLiteral("timeout"), 30).toInt();
        if (s.timeout_seconds <= 0) s.timeout_seconds = 30;
        if (!s.name.empty()) servers.push_back(std::move(s));
    }
    store.endArray();
    return servers;
}

void save_servers(const std::vector<Server>& servers)
{
    QSettings store = settings();
    store.remove(QStringLiteral("servers"));
    store.beginWriteArray(QStringLiteral("servers"), static_cast<int>(servers.size()));
    for (int i = 0; i < static_cast<int>(servers.size()); ++i) {
        const Server& s = servers[static_cast<std::size_t>(i)];
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("name"), text(s.name));
        store.setValue(QStringLiteral("protocol"),
                       s.protocol == ServerProtocol::dimse ? QStringLiteral("dimse") : QStringLiteral("dicomweb"));
        store.setValue(QStringLiteral("url"), text(s.base_url));
        store.setValue(QStringLiteral("user"), text(s.user));
        store.setValue(QStringLiteral("allowSelfSigned"), s.allow_self_signed);
        store.setValue(QStringLiteral("host"), text(s.host));
        store.setValue(QStringLiteral("port"), s.port);
        store.setValue(QStringLiteral("calledAe"), text(s.called_ae));
        store.setValue(QStringLiteral("callingAe"), text(s.calling_ae));
        store.setValue(QStringLiteral("movePort"), s.move_port);
        store.setValue(QStringLiteral("preferMove"), s.prefer_move);
        store.setValue(QStringLiteral("timeout"), s.timeout_seconds);
    }
    store.endArray();
    store.sync();
}

const Server* find_server(const std::vector<Server>& servers, const std::string& name)
{
    for (const Server& s : servers)
        if (s.name == name) return &s;
    return nullptr;
}
