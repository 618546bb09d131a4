// File > PACS...: the configured archives (add, change, remove, test), a
// study query whose rows expand into their series, a retrieve whose files the
// window opens as they arrive, and a send of the open file or series. Every
// archive call runs on a thread of its own and answers on the GUI thread,
// queued; its failure is shown in the dialog. Closing the dialog cancels a
// retrieve and waits for it; destroying it waits for every call.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pacs/archive.h"
#include "pacs/server.h"

class Dialogs;
class ServerSecrets;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

class PacsDialog : public QDialog {
    Q_OBJECT

public:
    // What the dialog asks of the window.
    struct Window {
        // The files a send takes: the open series' (series) or the open file's.
        std::function<std::vector<std::string>(bool series)> files_to_send;
        // A retrieved file is complete under its final name; `first` for
        // the first of a retrieve.
        std::function<void(const QString& path, bool first)> file_arrived;
    };

    // The dialogs answer the password question and give the secret store.
    PacsDialog(Dialogs* dialogs, Window window, QWidget* parent = nullptr);
    ~PacsDialog() override;

    // Handlers, as the buttons call them.
    void AddClick();
    void EditClick();
    void RemoveClick();
    void TestClick();
    void SearchClick();
    void RetrieveClick();
    void CancelClick();
    void SendClick();

    const std::vector<Server>& servers() const { return servers_; }
    // A retrieve runs.
    bool retrieving() const { return retrieve_call_ != 0; }
    // Some archive call runs, or waits for its server's secret.
    bool busy() const { return !calls_.empty() || reading_secrets_ > 0; }

    // Controls. The server's fields.
    QListWidget* lbServers = nullptr;
    QLineEdit* edName = nullptr;
    QComboBox* cbProtocol = nullptr; // DICOMweb, DIMSE
    QStackedWidget* pgProtocol = nullptr;
    QLineEdit* edUrl = nullptr;
    QLineEdit* edUser = nullptr;
    QLineEdit* edPassword = nullptr;
    QLineEdit* edToken = nullptr;
    QCheckBox* chSelfSigned = nullptr;
    QLineEdit* edHost = nullptr;
    QSpinBox* spPort = nullptr;
    QLineEdit* edCalledAe = nullptr;
    QLineEdit* edCallingAe = nullptr;
    QSpinBox* spMovePort = nullptr;
    QCheckBox* chPreferMove = nullptr;
    QSpinBox* spTimeout = nullptr;
    QPushButton* btAdd = nullptr;
    QPushButton* btEdit = nullptr;
    QPushButton* btRemove = nullptr;
    QPushButton* btTest = nullptr;
    // The query and its results.
    QLineEdit* edPatientName = nullptr;
    QLineEdit* edPatientId = nullptr;
    QLineEdit* edDateFrom = nullptr;
    QLineEdit* edDateTo = nullptr;
    QLineEdit* edModality = nullptr;
    QLineEdit* edAccession = nullptr;
    QPushButton* btSearch = nullptr;
    QTreeWidget* tvStudies = nullptr;
    // Retrieve and send.
    QPushButton* btRetrieve = nullptr;
    QPushButton* btCancel = nullptr;
    QProgressBar* pbRetrieve = nullptr;
    QComboBox* cbSendWhat = nullptr; // the open file, the open series
    QPushButton* btSend = nullptr;
    // The last call's outcome.
    QLabel* lbStatus = nullptr;

signals:
    // From the retrieving thread, taken on the GUI thread.
    void instance_arrived(const QString& path, int arrived, int expected);

protected:
    void done(int result) override;

private:
    void create_controls();
    QWidget* create_server_box();
    QWidget* create_query_box();
    void server_chosen();
    void protocol_chosen();
    // The server as the fields give it (no secret), and the secret typed.
    Server form_server() const;
    QString form_secret() const;
    void show_server(const Server& server);
    // The form's server checked; a box says what is wrong.
    bool form_server_ok(const Server& server, std::size_t editing);
    // The secret typed for a server kept for this session and offered to the store.
    void keep_secret(const Server& server, const QString& secret);
    // The selected server with its password or token (from this session, the
    // store or asked for), then `go`; nothing when none is selected or the
    // user cancels the question.
    void with_server(std::function<void(const Server&)> go);
    // The server the studies shown came from (the rows are its), else the selected one.
    void with_results_server(const std::function<void(const Server&)>& go);
    void show_status(const QString& text, bool failed);
    void study_expanded(QTreeWidgetItem* item);
    void selection_changed();
    void take_arrived(const QString& path, int arrived, int expected);
    void retrieve_ended(const ArchiveResult& result);
    // Cancels the retrieve and waits for its thread.
    void stop_retrieve();
    // Runs `work` on a thread of its own, then `then` with its answer on the
    // GUI thread (dropped when the dialog goes first). The call's number.
    template <class Result>
    int run(std::function<Result()> work, std::function<void(Result)> then);

    Dialogs* dialogs_;
    Window window_;
    std::unique_ptr<ServerSecrets> secrets_;
    std::vector<Server> servers_;
    // Secrets known this session, by server name: typed, read or asked for.
    std::map<std::string, std::string> session_secrets_;
    int status_serial_ = 0; // counts the texts shown
    int reading_secrets_ = 0;
    int next_call_ = 1;
    std::map<int, std::jthread> calls_;
    std::optional<Server> results_server_; // with its secret
    int retrieve_call_ = 0;
    std::atomic<bool> cancel_{false};
    bool first_arrival_ = true;
    int arrived_ = 0;
    QString retrieve_folder_;
    bool made_folder_ = false;
};
