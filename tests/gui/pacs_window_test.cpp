// The window and a real archive, which pacs_window_run.py starts (Orthanc on
// loopback, holding one 50-image series) and names in VELMOR_TEST_* variables:
// a query finds the study and its series, a retrieve opens in the window as a
// set while it streams, a retrieve cancelled, or cut short by closing the
// dialog or the window, leaves the cache clean, and a send stores the open
// file.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "pacs/instance_folder.h"
#include "tests/gui/no_secret_store.h"
#include "viewer/dialogs.h"
#include "viewer/pacs_dialog.h"
#include "viewer/server_secrets.h"
#include "viewer/server_settings.h"
#include "viewer/tform1.h"

namespace {

QString env(const char* name) { return qEnvironmentVariable(name); }

class ArchiveDialogs : public Dialogs {
public:
    bool password(QWidget*, const QString&, const QString&, QString& password) override
    {
        password = env("VELMOR_TEST_PASSWORD");
        return true;
    }
    std::unique_ptr<ServerSecrets> secretStore() override { return std::make_unique<NoSecretStore>(); }
    int message(QWidget*, const QString&, const QString&, QMessageBox::Icon, QMessageBox::StandardButtons) override
    {
        return QMessageBox::Ok;
    }
};

enum class Protocol { dicomweb, dimse_get, dimse_move };
enum class Stop { cancel_button, dialog_closed, window_closed };

PacsDialog* open_dialog(TForm1& form, Protocol protocol)
{
    form.Pacs1Click();
    PacsDialog* d = form.fmPacs;
    if (protocol == Protocol::dicomweb) {
        d->edName->setText(QStringLiteral("orthanc-web"));
        d->cbProtocol->setCurrentIndex(0);
        d->edUrl->setText(env("VELMOR_TEST_DICOMWEB"));
        d->edUser->setText(env("VELMOR_TEST_USER"));
    } else {
        d->edName->setText(QStringLiteral("orthanc-dimse"));
        d->cbProtocol->setCurrentIndex(1);
        d->edHost->setText(QStringLiteral("127.0.0.1"));
        d->spPort->setValue(env("VELMOR_TEST_DIMSE_PORT").toInt());
        d->edCalledAe->setText(env("VELMOR_TEST_AE"));
        d->spMovePort->setValue(env("VELMOR_TEST_MOVE_PORT").toInt());
        d->chPreferMove->setChecked(protocol == Protocol::dimse_move);
    }
    d->AddClick();
    return d;
}

// Searches for the test series' patient; its study item, series listed.
QTreeWidgetItem* find_study(PacsDialog& d)
{
    d.edPatientName->setText(QStringLiteral("SERIES*"));
    d.SearchClick();
    if (!QTest::qWaitFor([&] { return d.tvStudies->topLevelItemCount() == 1; }, 30000)) {
        qWarning() << d.lbStatus->text();
        return nullptr;
    }
    QTreeWidgetItem* study = d.tvStudies->topLevelItem(0);
    d.tvStudies->expandItem(study);
    if (!QTest::qWaitFor([&] { return study->childCount() == 1; }, 30000)) {
        qWarning() << d.lbStatus->text();
        return nullptr;
    }
    return study;
}

QString study_folder()
{
    return QFile::decodeName(pacs_cache_folder().c_str()) + QLatin1Char('/') + env("VELMOR_TEST_STUDY");
}

QStringList cached_files()
{
    QStringList files;
    for (QDirIterator it(QFile::decodeName(pacs_cache_folder().c_str()), QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        files.append(it.next());
    }
    return files;
}

} // namespace

class PacsWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    ArchiveDialogs dialogs_;

private slots:
    void initTestCase()
    {
        QVERIFY2(!env("VELMOR_TEST_DICOMWEB").isEmpty(), "run through pacs_window_run.py");
        QVERIFY(home_.isValid());
        qputenv("XDG_CONFIG_HOME", home_.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", home_.filePath(QStringLiteral("cache")).toLocal8Bit());
    }

    void init()
    {
        save_servers({});
        QDir(QFile::decodeName(pacs_cache_folder().c_str())).removeRecursively();
    }

    void retrieved_series_opens_while_it_streams_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::newRow("dicomweb") << Protocol::dicomweb;
        QTest::newRow("dimse c-get") << Protocol::dimse_get;
        QTest::newRow("dimse c-move") << Protocol::dimse_move;
    }

    void retrieved_series_opens_while_it_streams()
    {
        QFETCH(Protocol, protocol);
        TForm1 form(&dialogs_);
        form.show();
        PacsDialog* d = open_dialog(form, protocol);
        QTreeWidgetItem* study = find_study(*d);
        QVERIFY(study != nullptr);
        QCOMPARE(study->text(0), QStringLiteral("SERIES FIFTY"));
        QCOMPARE(study->text(2), QStringLiteral("2024-03-15"));
        QTreeWidgetItem* series = study->child(0);
        QCOMPARE(series->text(6), QStringLiteral("50"));
        d->tvStudies->setCurrentItem(series);

        QElapsedTimer clock;
        qint64 first_arrival = -1;
        connect(d, &PacsDialog::instance_arrived, &form, [&] {
            if (first_arrival < 0) {
                first_arrival = clock.elapsed();
            }
        });
        clock.start();
        d->RetrieveClick();
        QVERIFY(d->retrieving());
        // The first image shows while the rest arrives.
        while (!form.state().image_shown && clock.elapsed() < 30000) {
            QTest::qWait(2);
        }
        const qint64 shown = clock.elapsed();
        QVERIFY2(form.state().image_shown, qPrintable(d->lbStatus->text()));
        QVERIFY(form.set_is_open());
        qInfo("first image shown %lld ms after the retrieve started, %lld ms after its file was taken in",
              static_cast<long long>(shown), static_cast<long long>(shown - first_arrival));

        QTRY_VERIFY_WITH_TIMEOUT(!d->retrieving(), 60000);
        QVERIFY2(d->lbStatus->text().contains(QStringLiteral("50")), qPrintable(d->lbStatus->text()));
        QTRY_VERIFY_WITH_TIMEOUT(form.scan_finished(), 30000);
        QCOMPARE(form.set_browser().file_count(), std::size_t{50});
        QCOMPARE(form.set_browser().series_count(), std::size_t{1});
        QCOMPARE(form.set_browser().steps(), 50);
        QCOMPARE(form.tvSeries->topLevelItemCount(), 1);
        QCOMPARE(QDir(study_folder()).entryList(QDir::Files).size(), 50);
    }

    void stopped_retrieve_leaves_cache_clean_data()
    {
        QTest::addColumn<Stop>("stop");
        QTest::newRow("cancel button") << Stop::cancel_button;
        QTest::newRow("dialog closed") << Stop::dialog_closed;
        QTest::newRow("window closed") << Stop::window_closed;
    }

    void stopped_retrieve_leaves_cache_clean()
    {
        QFETCH(Stop, stop);
        auto* form = new TForm1(&dialogs_);
        QPointer<TForm1> window(form);
        form->show();
        QPointer<PacsDialog> d = open_dialog(*form, Protocol::dicomweb);
        QTreeWidgetItem* study = find_study(*d);
        QVERIFY(study != nullptr);
        d->tvStudies->setCurrentItem(study);

        // At the first file the retrieving thread waits until the stop has begun.
        std::atomic<bool> stopping{false};
        connect(
            d, &PacsDialog::instance_arrived, d,
            [&] {
                if (stopping.exchange(true)) {
                    return;
                }
                std::atomic<bool> begun{false};
                QMetaObject::invokeMethod(d, [&, dialog = d.data()] {
                    begun = true;
                    if (stop == Stop::cancel_button) {
                        dialog->CancelClick();
                    } else if (stop == Stop::dialog_closed) {
                        dialog->reject();
                    } else {
                        delete form;
                    }
                });
                while (!begun) {
                    std::this_thread::yield();
                }
            },
            Qt::DirectConnection);
        d->RetrieveClick();
        QTRY_VERIFY_WITH_TIMEOUT(d.isNull() || !d->retrieving(), 60000);
        QVERIFY(stopping);
        if (!d.isNull()) {
            QVERIFY2(d->lbStatus->text().contains(QStringLiteral("キャンセル")), qPrintable(d->lbStatus->text()));
        }
        QVERIFY(!QDir(study_folder()).exists());
        QCOMPARE(cached_files(), QStringList());
        delete window.data();
    }

    void send_stores_the_open_file()
    {
        TForm1 form(&dialogs_);
        form.show();
        form.open_file(QStringLiteral(VELMOR_PYDICOM_FILES "/MR_small.dcm"));
        PacsDialog* d = open_dialog(form, Protocol::dicomweb);
        d->cbSendWhat->setCurrentIndex(0);
        d->SendClick();
        QTRY_VERIFY_WITH_TIMEOUT(!d->busy(), 60000);
        QVERIFY2(d->lbStatus->text().contains(QStringLiteral("orthanc-web")), qPrintable(d->lbStatus->text()));
        d->edPatientName->setText(QStringLiteral("CompressedSamples^MR1"));
        d->SearchClick();
        QTRY_VERIFY_WITH_TIMEOUT(!d->busy(), 60000);
        QTRY_VERIFY2_WITH_TIMEOUT(d->tvStudies->topLevelItemCount() == 1, qPrintable(d->lbStatus->text()), 30000);
        // No series open: nothing to send, and a reason.
        d->cbSendWhat->setCurrentIndex(1);
        d->SendClick();
        QVERIFY(!d->busy());
        QVERIFY(!d->lbStatus->text().isEmpty());
    }
};

QTEST_MAIN(PacsWindowTest)
#include "pacs_window_test.moc"
