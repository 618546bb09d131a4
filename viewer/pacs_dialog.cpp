#include "viewer/pacs_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "pacs/archive.h"
#include "pacs/instance_folder.h"
#include "viewer/dialogs.h"
#include "viewer/pacs_rows.h"
#include "viewer/server_secrets.h"
#include "viewer/server_settings.h"

namespace {

QString utf8(const std::string& text) { return QString::fromStdString(text); }
std::string utf8(const QString& text) { return text.trimmed().toStdString(); }

// The study tree's items carry their UIDs; a study's says whether its series
// were asked for.
enum { study_role = Qt::UserRole, series_role, listed_role };
enum {
    column_patient,
    column_id,
    column_date,
    column_description,
    column_modalities,
    column_series,
    column_images
};

struct Found {
    ArchiveResult result;
    std::vector<StudyRow> studies;
    std::vector<SeriesRow> series;
};

QLineEdit* line(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QPushButton* button(const QString& text, QWidget* parent, const char* name)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QTreeWidgetItem* study_item(QTreeWidget* tree, const std::string& study_uid)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->data(0, study_role).toString() == utf8(study_uid)) {
            return item;
        }
    }
    return nullptr;
}

} // namespace

template <class Result>
int PacsDialog::run(std::function<Result()> work, std::function<void(Result)> then)
{
    const int call = next_call_++;
    calls_.emplace(call, std::jthread([this, call, work = std::move(work), then = std::move(then)] {
                       auto result = std::make_shared<Result>(work());
                       QMetaObject::invokeMethod(
                           this,
                           [this, call, then, result] {
                               calls_.erase(call); // its thread is ending: a short join
                               then(std::move(*result));
                           },
                           Qt::QueuedConnection);
                   }));
    return call;
}

PacsDialog::PacsDialog(Dialogs* dialogs, Window window, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), window_(std::move(window)), secrets_(dialogs->secretStore())
{
    setObjectName(QStringLiteral("fmPacs"));
    setWindowTitle(tr("PACS"));
    create_controls();
    connect(this, &PacsDialog::instance_arrived, this, &PacsDialog::take_arrived, Qt::QueuedConnection);
    servers_ = load_servers();
    for (const Server& s : servers_) {
        lbServers->addItem(utf8(s.name));
    }
    if (!servers_.empty()) {
        lbServers->setCurrentRow(0);
    }
    protocol_chosen();
    selection_changed();
}

PacsDialog::~PacsDialog()
{
    cancel_ = true;
    // Each thread posts its answer to this dialog, which drops it on going.
    calls_.clear();
    if (retrieving() && made_folder_) {
        QDir().rmdir(retrieve_folder_); // the retrieve removed its files
    }
}

void PacsDialog::create_controls()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(create_server_box(), 3);
    top->addWidget(create_query_box(), 2);
    layout->addLayout(top);

    tvStudies = new QTreeWidget(this);
    tvStudies->setObjectName(QStringLiteral("tvStudies"));
    tvStudies->setHeaderLabels(
        {tr("患者名"), tr("患者ID"), tr("検査日"), tr("説明"), tr("モダリティ"), tr("シリーズ"), tr("画像")});
    tvStudies->setSelectionMode(QAbstractItemView::SingleSelection);
    tvStudies->header()->setStretchLastSection(false);
    tvStudies->header()->setSectionResizeMode(column_description, QHeaderView::Stretch);
    connect(tvStudies, &QTreeWidget::itemExpanded, this, &PacsDialog::study_expanded);
    connect(tvStudies, &QTreeWidget::itemSelectionChanged, this, &PacsDialog::selection_changed);
    layout->addWidget(tvStudies, 1);

    auto* actions = new QHBoxLayout;
    btRetrieve = button(tr("取得"), this, "btRetrieve");
    btCancel = button(tr("キャンセル"), this, "btCancel");
    pbRetrieve = new QProgressBar(this);
    pbRetrieve->setObjectName(QStringLiteral("pbRetrieve"));
    pbRetrieve->setRange(0, 1);
    pbRetrieve->setValue(0);
    pbRetrieve->setFormat(QStringLiteral("%v / %m"));
    pbRetrieve->setTextVisible(false);
    cbSendWhat = new QComboBox(this);
    cbSendWhat->setObjectName(QStringLiteral("cbSendWhat"));
    cbSendWhat->addItems({tr("表示中のファイル"), tr("表示中のシリーズ")});
    btSend = button(tr("送信"), this, "btSend");
    actions->addWidget(btRetrieve);
    actions->addWidget(btCancel);
    actions->addWidget(pbRetrieve, 1);
    actions->addSpacing(24);
    actions->addWidget(cbSendWhat);
    actions->addWidget(btSend);
    layout->addLayout(actions);
    connect(btRetrieve, &QPushButton::clicked, this, &PacsDialog::RetrieveClick);
    connect(btCancel, &QPushButton::clicked, this, &PacsDialog::CancelClick);
    connect(btSend, &QPushButton::clicked, this, &PacsDialog::SendClick);
    btCancel->setEnabled(false);

    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setWordWrap(true);
    lbStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lbStatus);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(close);
    resize(1000, 720);
}

QWidget* PacsDialog::create_server_box()
{
    auto* box = new QGroupBox(tr("サーバー"), this);
    auto* layout = new QHBoxLayout(box);
    auto* left = new QVBoxLayout;
    lbServers = new QListWidget(box);
    lbServers->setObjectName(QStringLiteral("lbServers"));
    connect(lbServers, &QListWidget::currentRowChanged, this, &PacsDialog::server_chosen);
    left->addWidget(lbServers, 1);
    auto* buttons = new QGridLayout;
    btAdd = button(tr("追加"), box, "btAdd");
    btEdit = button(tr("変更"), box, "btEdit");
    btRemove = button(tr("削除"), box, "btRemove");
    btTest = button(tr("接続テスト"), box, "btTest");
    buttons->addWidget(btAdd, 0, 0);
    buttons->addWidget(btEdit, 0, 1);
    buttons->addWidget(btRemove, 1, 0);
    buttons->addWidget(btTest, 1, 1);
    left->addLayout(buttons);
    connect(btAdd, &QPushButton::clicked, this, &PacsDialog::AddClick);
    connect(btEdit, &QPushButton::clicked, this, &PacsDialog::EditClick);
    connect(btRemove, &QPushButton::clicked, this, &PacsDialog::RemoveClick);
    connect(btTest, &QPushButton::clicked, this, &PacsDialog::TestClick);
    layout->addLayout(left, 2);

    auto* right = new QVBoxLayout;
    auto* common = new QFormLayout;
    edName = line(box, "edName");
    cbProtocol = new QComboBox(box);
    cbProtocol->setObjectName(QStringLiteral("cbProtocol"));
    cbProtocol->addItems({QStringLiteral("DICOMweb"), QStringLiteral("DIMSE")});
    connect(cbProtocol, &QComboBox::currentIndexChanged, this, &PacsDialog::protocol_chosen);
    common->addRow(tr("名前"), edName);
    common->addRow(tr("プロトコル"), cbProtocol);
    right->addLayout(common);

    pgProtocol = new QStackedWidget(box);
    auto* web = new QWidget(pgProtocol);
    auto* web_form = new QFormLayout(web);
    web_form->setContentsMargins(0, 0, 0, 0);
    edUrl = line(web, "edUrl");
    edUrl->setPlaceholderText(QStringLiteral("https://host/dicom-web"));
    edUser = line(web, "edUser");
    edPassword = line(web, "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    edToken = line(web, "edToken");
    edToken->setEchoMode(QLineEdit::Password);
    for (QLineEdit* secret : {edPassword, edToken}) {
        secret->setPlaceholderText(tr("空欄: 変更しない"));
    }
    chSelfSigned =
        new QCheckBox(tr("自己署名の証明書を受け入れる (接続先を確かめられないため安全ではありません)"), web);
    chSelfSigned->setObjectName(QStringLiteral("chSelfSigned"));
    web_form->addRow(tr("ベースURL"), edUrl);
    web_form->addRow(tr("ユーザー"), edUser);
    web_form->addRow(tr("パスワード"), edPassword);
    web_form->addRow(tr("トークン"), edToken);
    web_form->addRow(chSelfSigned);
    pgProtocol->addWidget(web);

    auto* dimse = new QWidget(pgProtocol);
    auto* dimse_form = new QFormLayout(dimse);
    dimse_form->setContentsMargins(0, 0, 0, 0);
    edHost = line(dimse, "edHost");
    spPort = new QSpinBox(dimse);
    spPort->setObjectName(QStringLiteral("spPort"));
    spPort->setRange(1, 65535);
    spPort->setValue(104);
    edCalledAe = line(dimse, "edCalledAe");
    edCalledAe->setMaxLength(16);
    edCallingAe = line(dimse, "edCallingAe");
    edCallingAe->setMaxLength(16);
    edCallingAe->setText(QStringLiteral("VELMOR"));
    spMovePort = new QSpinBox(dimse);
    spMovePort->setObjectName(QStringLiteral("spMovePort"));
    spMovePort->setRange(0, 65535);
    spMovePort->setSpecialValueText(tr("空いているポート"));
    chPreferMove = new QCheckBox(tr("C-GET が使えても C-MOVE で取得する"), dimse);
    chPreferMove->setObjectName(QStringLiteral("chPreferMove"));
    dimse_form->addRow(tr("ホスト"), edHost);
    dimse_form->addRow(tr("ポート"), spPort);
    dimse_form->addRow(tr("相手の AE タイトル"), edCalledAe);
    dimse_form->addRow(tr("自分の AE タイトル"), edCallingAe);
    dimse_form->addRow(tr("C-MOVE 受信ポート"), spMovePort);
    dimse_form->addRow(chPreferMove);
    pgProtocol->addWidget(dimse);
    right->addWidget(pgProtocol);

    auto* timeout = new QFormLayout;
    spTimeout = new QSpinBox(box);
    spTimeout->setObjectName(QStringLiteral("spTimeout"));
    spTimeout->setRange(1, 3600);
    spTimeout->setValue(30);
    spTimeout->setSuffix(tr(" 秒"));
    timeout->addRow(tr("タイムアウト"), spTimeout);
    right->addLayout(timeout);
    right->addStretch(1);
    layout->addLayout(right, 3);
    return box;
}

QWidget* PacsDialog::create_query_box()
{
    auto* box = new QGroupBox(tr("検索条件"), this);
    auto* form = new QFormLayout(box);
    edPatientName = line(box, "edPatientName");
    edPatientName->setPlaceholderText(tr("* で前方一致など"));
    edPatientId = line(box, "edPatientId");
    edDateFrom = line(box, "edDateFrom");
    edDateTo = line(box, "edDateTo");
    for (QLineEdit* date : {edDateFrom, edDateTo}) {
        date->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
    }
    auto* dates = new QHBoxLayout;
    dates->addWidget(edDateFrom);
    dates->addWidget(new QLabel(QStringLiteral("-"), box));
    dates->addWidget(edDateTo);
    edModality = line(box, "edModality");
    edAccession = line(box, "edAccession");
    btSearch = button(tr("検索"), box, "btSearch");
    connect(btSearch, &QPushButton::clicked, this, &PacsDialog::SearchClick);
    form->addRow(tr("患者名"), edPatientName);
    form->addRow(tr("患者ID"), edPatientId);
    form->addRow(tr("検査日"), dates);
    form->addRow(tr("モダリティ"), edModality);
    form->addRow(tr("受付番号"), edAccession);
    form->addRow(btSearch);
    return box;
}

void PacsDialog::server_chosen()
{
    const int row = lbServers->currentRow();
    if (row >= 0 && row < static_cast<int>(servers_.size())) {
        show_server(servers_[static_cast<std::size_t>(row)]);
    }
}

void PacsDialog::protocol_chosen() { pgProtocol->setCurrentIndex(cbProtocol->currentIndex()); }

Server PacsDialog::form_server() const
{
    Server s;
    s.name = utf8(edName->text());
    s.protocol = cbProtocol->currentIndex() == 1 ? ServerProtocol::dimse : ServerProtocol::dicomweb;
    s.timeout_seconds = spTimeout->value();
    if (s.protocol == ServerProtocol::dicomweb) {
        s.base_url = utf8(edUrl->text());
        while (!s.base_url.empty() && s.base_url.back() == '/') {
            s.base_url.pop_back();
        }
        s.user = utf8(edUser->text());
        s.allow_self_signed = chSelfSigned->isChecked();
    } else {
        s.host = utf8(edHost->text());
        s.port = static_cast<uint16_t>(spPort->value());
        s.called_ae = utf8(edCalledAe->text());
        s.calling_ae = utf8(edCallingAe->text());
        s.move_port = static_cast<uint16_t>(spMovePort->value());
        s.prefer_move = chPreferMove->isChecked();
    }
    return s;
}

QString PacsDialog::form_secret() const
{
    if (cbProtocol->currentIndex() == 1) {
        return {};
    }
    return edUser->text().trimmed().isEmpty() ? edToken->text() : edPassword->text();
}

void PacsDialog::show_server(const Server& s)
{
    edName->setText(utf8(s.name));
    cbProtocol->setCurrentIndex(s.protocol == ServerProtocol::dimse ? 1 : 0);
    spTimeout->setValue(s.timeout_seconds);
    edUrl->setText(utf8(s.base_url));
    edUser->setText(utf8(s.user));
    edPassword->clear();
    edToken->clear();
    chSelfSigned->setChecked(s.allow_self_signed);
    edHost->setText(utf8(s.host));
    spPort->setValue(s.port);
    edCalledAe->setText(utf8(s.called_ae));
    edCallingAe->setText(utf8(s.calling_ae));
    spMovePort->setValue(s.move_port);
    chPreferMove->setChecked(s.prefer_move);
}

bool PacsDialog::form_server_ok(const Server& server, std::size_t editing)
{
    QString problem;
    switch (check_server(server, servers_, editing)) {
    case ServerProblem::none: return true;
    case ServerProblem::no_name: problem = tr("サーバーの名前を入力してください"); break;
    case ServerProblem::duplicate_name:
        problem = tr("「%1」という名前のサーバーはすでにあります").arg(utf8(server.name));
        break;
    case ServerProblem::no_url: problem = tr("ベースURLを入力してください"); break;
    case ServerProblem::bad_url: problem = tr("ベースURLは http:// か https:// で始めてください"); break;
    case ServerProblem::no_host: problem = tr("ホストを入力してください"); break;
    case ServerProblem::bad_ae_title:
        problem = tr("AE タイトルは 1 から 16 文字の英数字などで入力してください");
        break;
    }
    show_status(problem, true);
    return false;
}

void PacsDialog::keep_secret(const Server& server, const QString& secret)
{
    if (secret.isEmpty()) {
        return;
    }
    session_secrets_[server.name] = secret.toStdString();
    const QString name = utf8(server.name);
    const int serial = status_serial_;
    secrets_->write(name, secret, [this, name, serial](bool stored) {
        if (!stored && serial == status_serial_) {
            show_status(tr("パスワードを保存できる場所がないため、「%"
                           "1」のパスワードはこのセッションの間だけ覚えておきます")
                            .arg(name),
                        false);
        }
    });
}

void PacsDialog::AddClick()
{
    const Server s = form_server();
    if (!form_server_ok(s, servers_.size())) {
        return;
    }
    servers_.push_back(s);
    save_servers(servers_);
    lbServers->addItem(utf8(s.name));
    lbServers->setCurrentRow(lbServers->count() - 1);
    show_status(tr("「%1」を追加しました").arg(utf8(s.name)), false);
    keep_secret(s, form_secret());
    edPassword->clear();
    edToken->clear();
}

void PacsDialog::EditClick()
{
    const int row = lbServers->currentRow();
    if (row < 0) {
        show_status(tr("サーバーを選んでください"), true);
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    const Server s = form_server();
    if (!form_server_ok(s, index)) {
        return;
    }
    const std::string old_name = servers_[index].name;
    QString secret = form_secret();
    if (old_name != s.name) {
        // The secret follows the name it is kept under.
        const auto known = session_secrets_.find(old_name);
        if (secret.isEmpty() && known != session_secrets_.end()) {
            secret = utf8(known->second);
        }
        session_secrets_.erase(old_name);
        secrets_->remove(utf8(old_name));
    }
    servers_[index] = s;
    save_servers(servers_);
    lbServers->item(row)->setText(utf8(s.name));
    show_status(tr("「%1」を変更しました").arg(utf8(s.name)), false);
    keep_secret(s, secret);
    edPassword->clear();
    edToken->clear();
}

void PacsDialog::RemoveClick()
{
    const int row = lbServers->currentRow();
    if (row < 0) {
        show_status(tr("サーバーを選んでください"), true);
        return;
    }
    const std::string name = servers_[static_cast<std::size_t>(row)].name;
    servers_.erase(servers_.begin() + row);
    save_servers(servers_);
    delete lbServers->takeItem(row);
    server_chosen(); // the row may be the same number, now another server's
    session_secrets_.erase(name);
    secrets_->remove(utf8(name));
    show_status(tr("「%1」を削除しました").arg(utf8(name)), false);
}

void PacsDialog::with_server(std::function<void(const Server&)> go)
{
    const int row = lbServers->currentRow();
    if (row < 0 || row >= static_cast<int>(servers_.size())) {
        show_status(tr("サーバーを選んでください"), true);
        return;
    }
    Server s = servers_[static_cast<std::size_t>(row)];
    if (s.protocol == ServerProtocol::dimse) {
        go(s);
        return;
    }
    if (const auto known = session_secrets_.find(s.name); known != session_secrets_.end()) {
        take_secret(s, known->second);
        go(s);
        return;
    }
    ++reading_secrets_;
    secrets_->read(utf8(s.name), [this, s, go = std::move(go)](bool found, const QString& secret) mutable {
        --reading_secrets_;
        QString typed = secret;
        if (!found && needs_password(s)) {
            if (!dialogs_->password(this, tr("PACS"),
                                    tr("「%1」のユーザー %2 のパスワード").arg(utf8(s.name), utf8(s.user)),
                                    typed)) {
                show_status(tr("パスワードが入力されませんでした"), true);
                return;
            }
        }
        if (found || !typed.isEmpty()) {
            session_secrets_[s.name] = typed.toStdString();
            take_secret(s, typed.toStdString());
        }
        go(s);
    });
}

void PacsDialog::with_results_server(const std::function<void(const Server&)>& go)
{
    if (results_server_) {
        go(*results_server_);
    } else {
        with_server(go);
    }
}

void PacsDialog::show_status(const QString& text, bool failed)
{
    ++status_serial_;
    lbStatus->setText(text);
    lbStatus->setStyleSheet(failed ? QStringLiteral("color: #b00020;") : QString());
}

void PacsDialog::TestClick()
{
    with_server([this](const Server& s) {
        btTest->setEnabled(false);
        show_status(tr("「%1」に接続しています...").arg(utf8(s.name)), false);
        run<ArchiveResult>([s] { return open_archive(s)->echo(); },
                           [this, name = utf8(s.name)](ArchiveResult r) {
                               btTest->setEnabled(true);
                               show_status(r.ok ? tr("「%1」に接続できました").arg(name)
                                                : tr("接続テスト失敗: %1").arg(utf8(r.message)),
                                           !r.ok);
                           });
    });
}

void PacsDialog::SearchClick()
{
    StudyQuery query;
    if (!query_date(utf8(edDateFrom->text()), query.date_from) ||
        !query_date(utf8(edDateTo->text()), query.date_to)) {
        show_status(tr("検査日は YYYY-MM-DD か YYYYMMDD で入力してください"), true);
        return;
    }
    query.patient_name = utf8(edPatientName->text());
    query.patient_id = utf8(edPatientId->text());
    query.modality = utf8(edModality->text());
    query.accession_number = utf8(edAccession->text());
    with_server([this, query](const Server& s) {
        btSearch->setEnabled(false);
        show_status(tr("「%1」を検索しています...").arg(utf8(s.name)), false);
        run<Found>(
            [s, query] {
                Found found;
                found.result = open_archive(s)->query_studies(query, found.studies);
                return found;
            },
            [this, s](Found found) {
                btSearch->setEnabled(true);
                if (!found.result.ok) {
                    show_status(utf8(found.result.message), true);
                    return;
                }
                tvStudies->clear();
                results_server_ = s;
                for (const StudyRow& row : found.studies) {
                    auto* item = new QTreeWidgetItem(
                        tvStudies,
                        {utf8(shown_person_name(row.patient_name)), utf8(row.patient_id),
                         utf8(shown_date(row.date)), utf8(row.description), utf8(shown_modalities(row.modalities)),
                         utf8(shown_count(row.series_count)), utf8(shown_count(row.instance_count))});
                    item->setData(0, study_role, utf8(row.study_uid));
                    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
                }
                show_status(tr("%1 件の検査が見つかりました").arg(found.studies.size()), false);
            });
    });
}

void PacsDialog::study_expanded(QTreeWidgetItem* item)
{
    if (item->parent() != nullptr || item->data(0, listed_role).toBool()) {
        return;
    }
    item->setData(0, listed_role, true);
    const std::string study_uid = item->data(0, study_role).toString().toStdString();
    with_results_server([this, study_uid](const Server& s) {
        run<Found>(
            [s, study_uid] {
                Found found;
                found.result = open_archive(s)->query_series(study_uid, found.series);
                return found;
            },
            [this, study_uid](Found found) {
                QTreeWidgetItem* study = study_item(tvStudies, study_uid);
                if (study == nullptr) {
                    return; // another search replaced it
                }
                if (!found.result.ok) {
                    study->setData(0, listed_role, false);
                    show_status(utf8(found.result.message), true);
                    return;
                }
                for (const SeriesRow& row : found.series) {
                    const QString number =
                        row.number.empty() ? QString() : tr("シリーズ %1").arg(utf8(row.number));
                    auto* child = new QTreeWidgetItem(study, {number, QString(), QString(), utf8(row.description),
                                                              utf8(row.modality), QString(),
                                                              utf8(shown_count(row.instance_count))});
                    child->setData(0, study_role, utf8(study_uid));
                    child->setData(0, series_role, utf8(row.series_uid));
                }
                study->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
            });
    });
}

void PacsDialog::selection_changed()
{
    btRetrieve->setEnabled(!retrieving() && tvStudies->currentItem() != nullptr);
}

void PacsDialog::RetrieveClick()
{
    const QTreeWidgetItem* item = tvStudies->currentItem();
    if (item == nullptr || retrieving()) {
        return;
    }
    const std::string study_uid = item->data(0, study_role).toString().toStdString();
    const std::string series_uid = item->data(0, series_role).toString().toStdString();
    if (!is_valid_uid(study_uid)) {
        show_status(tr("検査の UID が正しくありません: %1").arg(utf8(study_uid)), true);
        return;
    }
    with_results_server([this, study_uid, series_uid](const Server& s) {
        if (retrieving()) {
            return;
        }
        const QString folder = QFile::decodeName(pacs_cache_folder().c_str()) + QLatin1Char('/') + utf8(study_uid);
        made_folder_ = !QDir(folder).exists();
        if (!QDir().mkpath(folder)) {
            show_status(tr("フォルダを作成できません: %1").arg(folder), true);
            return;
        }
        retrieve_folder_ = folder;
        cancel_ = false;
        first_arrival_ = true;
        arrived_ = 0;
        btRetrieve->setEnabled(false);
        btCancel->setEnabled(true);
        pbRetrieve->setRange(0, 0);
        show_status(tr("「%1」から取得しています...").arg(utf8(s.name)), false);
        const std::string target = QFile::encodeName(folder).toStdString();
        retrieve_call_ = run<ArchiveResult>(
            [this, s, study_uid, series_uid, target] {
                RetrieveTarget to;
                to.folder = target;
                to.cancel = &cancel_;
                to.arrived = [this](const std::string& path, int arrived, int expected) {
                    emit instance_arrived(QFile::decodeName(path.c_str()), arrived, expected);
                };
                return open_archive(s)->retrieve(study_uid, series_uid, to);
            },
            [this](ArchiveResult r) { retrieve_ended(r); });
        selection_changed();
    });
}

void PacsDialog::take_arrived(const QString& path, int arrived, int expected)
{
    if (cancel_ || !retrieving()) {
        return;
    }
    arrived_ = arrived;
    if (expected > 0) {
        pbRetrieve->setTextVisible(true);
        pbRetrieve->setRange(0, expected);
        pbRetrieve->setValue(std::min(arrived, expected));
    }
    const bool first = first_arrival_;
    first_arrival_ = false;
    if (window_.file_arrived) {
        window_.file_arrived(path, first);
    }
}

void PacsDialog::retrieve_ended(const ArchiveResult& result)
{
    retrieve_call_ = 0;
    btCancel->setEnabled(false);
    pbRetrieve->setTextVisible(false);
    pbRetrieve->setRange(0, 1);
    pbRetrieve->setValue(result.ok ? 1 : 0);
    selection_changed();
    if (result.ok) {
        show_status(tr("%1 件の画像を取得しました: %2").arg(arrived_).arg(retrieve_folder_), false);
        return;
    }
    // A failed or cancelled retrieve has removed its files; the folder goes
    // too when it made it and nothing else is in it.
    if (made_folder_) {
        QDir().rmdir(retrieve_folder_);
    }
    show_status(cancel_ ? tr("取得をキャンセルしました") : utf8(result.message), !cancel_);
}

void PacsDialog::CancelClick()
{
    if (retrieving()) {
        cancel_ = true;
        btCancel->setEnabled(false);
    }
}

void PacsDialog::stop_retrieve()
{
    if (!retrieving()) {
        return;
    }
    cancel_ = true;
    const auto call = calls_.find(retrieve_call_);
    if (call != calls_.end() && call->second.joinable()) {
        call->second.join();
    }
}

void PacsDialog::done(int result)
{
    stop_retrieve();
    QDialog::done(result);
}

void PacsDialog::SendClick()
{
    const bool series = cbSendWhat->currentIndex() == 1;
    std::vector<std::string> files =
        window_.files_to_send ? window_.files_to_send(series) : std::vector<std::string>{};
    if (files.empty()) {
        show_status(series ? tr("送信するシリーズが開かれていません") : tr("送信するファイルが開かれていません"),
                    true);
        return;
    }
    with_server([this, files = std::move(files)](const Server& s) {
        btSend->setEnabled(false);
        show_status(tr("「%1」へ送信しています...").arg(utf8(s.name)), false);
        run<ArchiveResult>([s, files] { return open_archive(s)->send(files); },
                           [this, count = files.size(), name = utf8(s.name)](ArchiveResult r) {
                               btSend->setEnabled(true);
                               show_status(r.ok ? tr("%1 ファイルを「%2」へ送信しました").arg(count).arg(name)
                                                : utf8(r.message),
                                           !r.ok);
                           });
    });
}
