// The PACS dialog without an archive behind it: servers added, changed and
// removed through its fields land in the settings without their passwords,
// a password is asked for once a session when no secret store keeps it, and
// a test of an unreachable or silent server ends in a message naming it
// while the dialog goes on answering.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/gui/no_secret_store.h"
#include "viewer/dialogs.h"
#include "viewer/pacs_dialog.h"
#include "viewer/server_secrets.h"
#include "viewer/server_settings.h"

namespace {

class PasswordDialogs : public Dialogs {
public:
    QString answer = QStringLiteral("typed-at-the-prompt");
    QStringList asked;
    bool password(QWidget*, const QString&, const QString& text, QString& password) override
    {
        asked.append(text);
        password = answer;
        return true;
    }
    std::unique_ptr<ServerSecrets> secretStore() override { return std::make_unique<NoSecretStore>(); }
};

// A loopback socket: listening (connections wait unanswered) or bound only
// (connections are refused). Its port while it lives.
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            (!listening || ::listen(fd_, 8) == 0) &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~LoopbackSocket()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

void fill_web(PacsDialog& d, const QString& name, const QString& url, const QString& user, const QString& password)
{
    d.edName->setText(name);
    d.cbProtocol->setCurrentIndex(0);
    d.edUrl->setText(url);
    d.edUser->setText(user);
    d.edPassword->setText(password);
    d.spTimeout->setValue(2);
}

void fill_dimse(PacsDialog& d, const QString& name, int port)
{
    d.edName->setText(name);
    d.cbProtocol->setCurrentIndex(1);
    d.edHost->setText(QStringLiteral("127.0.0.1"));
    d.spPort->setValue(port);
    d.edCalledAe->setText(QStringLiteral("ARCHIVE"));
    d.edCallingAe->setText(QStringLiteral("VIEWER"));
    d.spMovePort->setValue(11113);
    d.chPreferMove->setChecked(true);
    d.spTimeout->setValue(2);
}

} // namespace

class PacsDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    PasswordDialogs dialogs_;

    QString settings_text() const
    {
        QFile file(config_.filePath(QStringLiteral("velmor/velmor.conf")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        qputenv("XDG_CACHE_HOME", config_.filePath(QStringLiteral("cache")).toLocal8Bit());
    }

    void init() { save_servers({}); }

    void servers_are_kept_without_their_secrets()
    {
        {
            PacsDialog d(&dialogs_, {});
            fill_web(d, QStringLiteral("web"), QStringLiteral("https://pacs.example/dicom-web/"),
                     QStringLiteral("doctor"), QStringLiteral("hunter2-secret"));
            d.chSelfSigned->setChecked(true);
            d.AddClick();
            fill_dimse(d, QStringLiteral("dimse"), 11112);
            d.AddClick();
            // A name in use, or an address that is none, is refused with a reason.
            d.AddClick();
            fill_web(d, QStringLiteral("bad"), QStringLiteral("pacs.example"), {}, {});
            d.AddClick();
            QVERIFY(!d.lbStatus->text().isEmpty());
            QCOMPARE(d.lbServers->count(), 2);
        }
        const std::vector<Server> kept = load_servers();
        QCOMPARE(kept.size(), std::size_t{2});
        QCOMPARE(kept[0].name, std::string("web"));
        QVERIFY(kept[0].protocol == ServerProtocol::dicomweb);
        QCOMPARE(kept[0].base_url, std::string("https://pacs.example/dicom-web"));
        QCOMPARE(kept[0].user, std::string("doctor"));
        QVERIFY(kept[0].allow_self_signed);
        QVERIFY(kept[0].password.empty());
        QCOMPARE(kept[1].name, std::string("dimse"));
        QVERIFY(kept[1].protocol == ServerProtocol::dimse);
        QCOMPARE(kept[1].host, std::string("127.0.0.1"));
        QCOMPARE(kept[1].port, uint16_t{11112});
        QCOMPARE(kept[1].called_ae, std::string("ARCHIVE"));
        QCOMPARE(kept[1].calling_ae, std::string("VIEWER"));
        QCOMPARE(kept[1].move_port, uint16_t{11113});
        QVERIFY(kept[1].prefer_move);
        QCOMPARE(kept[1].timeout_seconds, 2);
        QVERIFY(settings_text().contains(QStringLiteral("doctor")));
        QVERIFY(!settings_text().contains(QStringLiteral("hunter2")));

        // Opened again: the list as kept; a change and a removal kept too.
        PacsDialog d(&dialogs_, {});
        QCOMPARE(d.lbServers->count(), 2);
        QCOMPARE(d.edName->text(), QStringLiteral("web"));
        d.lbServers->setCurrentRow(1);
        QCOMPARE(d.edCalledAe->text(), QStringLiteral("ARCHIVE"));
        d.edName->setText(QStringLiteral("archive"));
        d.EditClick();
        d.lbServers->setCurrentRow(0);
        d.RemoveClick();
        QCOMPARE(d.lbServers->count(), 1);
        QCOMPARE(d.edName->text(), QStringLiteral("archive"));
        const std::vector<Server> left = load_servers();
        QCOMPARE(left.size(), std::size_t{1});
        QCOMPARE(left[0].name, std::string("archive"));
        QCOMPARE(left[0].port, uint16_t{11112});
    }

    void test_of_unreachable_server_names_it()
    {
        const LoopbackSocket closed(false);
        QVERIFY(closed.port() != 0);
        PacsDialog d(&dialogs_, {});
        fill_dimse(d, QStringLiteral("nobody-home"), closed.port());
        d.AddClick();
        d.TestClick();
        QTRY_VERIFY_WITH_TIMEOUT(d.lbStatus->text().contains(QStringLiteral("nobody-home")) && !d.busy(), 30000);
        QVERIFY(d.btTest->isEnabled());
        // A date that is no day goes nowhere.
        d.edDateFrom->setText(QStringLiteral("2023-02-29"));
        d.SearchClick();
        QVERIFY(!d.busy());
        QVERIFY(d.lbStatus->text().contains(QStringLiteral("YYYY-MM-DD")));
    }

    void silent_server_leaves_the_dialog_answering()
    {
        // The server takes the connection and never answers: the call waits
        // for its timeout on its own thread while the dialog takes input.
        const LoopbackSocket silent(true);
        QVERIFY(silent.port() != 0);
        dialogs_.asked.clear();
        PacsDialog d(&dialogs_, {});
        fill_web(d, QStringLiteral("silent"), QStringLiteral("http://127.0.0.1:%1/dicom-web").arg(silent.port()),
                 QStringLiteral("doctor"), {});
        d.AddClick();
        d.TestClick();
        // No secret store and no password typed: asked for, once.
        QTRY_COMPARE(dialogs_.asked.size(), 1);
        QVERIFY(dialogs_.asked[0].contains(QStringLiteral("silent")));
        QTRY_VERIFY(d.busy());
        QVERIFY(!d.btTest->isEnabled());
        QTest::keyClicks(d.edPatientId, QStringLiteral("P-1"));
        QCOMPARE(d.edPatientId->text(), QStringLiteral("P-1"));
        QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), 30000);
        QVERIFY(d.lbStatus->text().contains(QStringLiteral("silent")));
        d.TestClick();
        QTRY_VERIFY_WITH_TIMEOUT(!d.busy() && d.btTest->isEnabled(), 30000);
        QCOMPARE(dialogs_.asked.size(), 1);
    }
};

QTEST_MAIN(PacsDialogTest)
#include "pacs_dialog_test.moc"
