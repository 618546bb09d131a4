// The window with a set open: the scan feeding the series pane, the status
// line, and the steps through a series with the images read ahead.
#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "series/folder_scan.h"
#include "viewer/messages.h"
#include "viewer/read_ahead.h"
#include "viewer/tform1.h"

namespace {

// Poll the scan this often: the first picture comes soon, the pane fills in batches.
constexpr int first_poll_ms = 15;
constexpr int poll_ms = 150;
// Group again no sooner than this, nor sooner than four times the last grouping took.
constexpr qint64 least_grouping_gap_ms = 250;
// At most this many skipped paths in the box that lists them.
constexpr std::size_t skipped_in_box = 200;

QString utf8(const std::string& text) { return QString::fromStdString(text); }

// The tree's series items carry their key.
enum { key_role = Qt::UserRole };

QStringList key_fields(const SeriesKey& key)
{
    return {utf8(key.patient_id), utf8(key.patient_name), utf8(key.study_uid), utf8(key.series_uid)};
}

std::optional<SeriesKey> key_of(const QTreeWidgetItem* item)
{
    const QStringList fields = item->data(0, key_role).toStringList();
    if (fields.size() != 4) {
        return std::nullopt;
    }
    return SeriesKey{fields[0].toStdString(), fields[1].toStdString(), fields[2].toStdString(),
                     fields[3].toStdString()};
}

QString series_text(const Series& s, const std::string& charset)
{
    QStringList parts;
    for (const std::string& part : {s.number, s.modality, decoded_text(s.description, charset, false)}) {
        if (!part.empty()) {
            parts.append(utf8(part));
        }
    }
    QString text = parts.join(QLatin1Char(' ')) + QStringLiteral(" (%1)").arg(s.images.size());
    if (s.mixed_orientations) {
        text += QCoreApplication::translate("TForm1", " - 複数の向き: インスタンス番号順");
    }
    return text;
}

} // namespace

void TForm1::open_set(const QStringList& paths)
{
    play_timer_->stop();
    ++sets_opened_;
    scan_.reset();
    set_ = SetBrowser();
    pending_.clear();
    skipped_.clear();
    waiting_paths_.clear();
    read_ahead_ = std::make_unique<ReadAhead>();
    opened_.reset();
    state_.image_shown = false;
    shown_ = {};
    file_name_.clear();
    edFname->clear();
    show_listing();
    mSave->setEnabled(false);
    sbSave->setEnabled(false);
    clear_display();

    if (!set_open_) {
        size_for_set(true);
    }
    set_open_ = true;
    tvSeries->clear();
    tvSeries->show();
    splitter->setSizes({280, splitter->width() - 280 - splitter->handleWidth()});
    setWindowTitle(QStringLiteral("Velmor"));

    std::vector<std::string> scan_paths;
    for (const QString& p : paths) {
        scan_paths.emplace_back(QFile::encodeName(p).constData());
    }
    scan_clock_.start();
    last_grouping_ms_ = 0;
    last_grouped_at_ = -least_grouping_gap_ms;
    scan_ = std::make_unique<FolderScan>(std::move(scan_paths));
    sbCancelScan->show();
    show_scan_line();
    scan_timer_->start(first_poll_ms);
}

bool TForm1::scan_finished() const
{
    return !scan_ || (scan_->progress().finished && !scan_timer_->isActive() && waiting_paths_.empty());
}

void TForm1::cancel_scan()
{
    waiting_paths_.clear();
    if (scan_) {
        scan_->cancel();
    }
}

void TForm1::add_to_set(const QStringList& paths)
{
    for (const QString& p : paths) {
        waiting_paths_.emplace_back(QFile::encodeName(p).constData());
    }
    if (!scan_timer_->isActive()) {
        scan_timer_->start(set_.series() == nullptr ? first_poll_ms : poll_ms);
    }
}

void TForm1::poll_scan()
{
    if (!scan_) {
        scan_timer_->stop();
        return;
    }
    bool finished = scan_->progress().finished;
    take_scanned(finished);
    if (finished && !waiting_paths_.empty()) {
        // Files added while it ran: a scan of their own, into the same set.
        scan_ = std::make_unique<FolderScan>(std::exchange(waiting_paths_, {}));
        sbCancelScan->show();
        finished = false;
    }
    if (finished) {
        scan_timer_->stop();
        sbCancelScan->hide();
        if (set_.patients().empty()) {
            clear_display(tr("DICOMファイルが見つかりません"));
        }
    } else if (set_.series() != nullptr) {
        scan_timer_->setInterval(poll_ms);
    }
    show_scan_line();
}

void TForm1::take_scanned(bool all)
{
    std::vector<ScannedFile> files;
    scan_->take(files, skipped_);
    std::move(files.begin(), files.end(), std::back_inserter(pending_));
    const qint64 now = scan_clock_.elapsed();
    // Grouping a large set takes a while: it runs less often as the set grows,
    // and at once while nothing is shown.
    const bool due = now - last_grouped_at_ >= std::max(least_grouping_gap_ms, 4 * last_grouping_ms_);
    if (pending_.empty() || !(all || due || set_.series() == nullptr)) {
        return;
    }
    QElapsedTimer grouping;
    grouping.start();
    const bool was_shown = set_.series() != nullptr;
    const int step = set_.step();
    set_.add(std::move(pending_));
    pending_.clear();
    last_grouping_ms_ = grouping.elapsed();
    last_grouped_at_ = now;
    if (!was_shown) {
        if (set_.select_first()) {
            fill_series_pane();
            show_set_image(true);
        }
        return;
    }
    fill_series_pane();
    if (set_.step() != step) {
        // The image shown moved in the new order: its number in the title follows.
        show_frame_title();
    }
}

void TForm1::fill_series_pane()
{
    const QSignalBlocker quiet(tvSeries);
    tvSeries->clear();
    QTreeWidgetItem* current = nullptr;
    for (const Patient& p : set_.patients()) {
        const QString name = utf8(decoded_text(p.name, p.character_set, true));
        auto* patient = new QTreeWidgetItem(
            tvSeries, {p.id.empty() ? name : name + QStringLiteral(" (") + utf8(p.id) + QLatin1Char(')')});
        for (const Study& st : p.studies) {
            const QString description = utf8(decoded_text(st.description, p.character_set, false));
            auto* study =
                new QTreeWidgetItem(patient, {QStringList{utf8(st.date), description}.join(QLatin1Char(' '))});
            for (const Series& s : st.series) {
                auto* item = new QTreeWidgetItem(study, {series_text(s, p.character_set)});
                const SeriesKey key = series_key(p, st, s);
                item->setData(0, key_role, key_fields(key));
                if (set_.key() == key) {
                    current = item;
                }
            }
        }
    }
    tvSeries->expandAll();
    if (current != nullptr) {
        tvSeries->setCurrentItem(current);
    }
}

void TForm1::show_scan_line()
{
    if (!scan_) {
        return;
    }
    const FolderScan::Progress progress = scan_->progress();
    QString line;
    if (!progress.finished) {
        line = tr("スキャン中: %2 ファイル中 %1 ファイル読み込み済み").arg(progress.scanned).arg(progress.found);
    } else {
        line = tr("%1 ファイル、%2 シリーズ").arg(set_.file_count()).arg(set_.series_count());
        if (progress.scanned < progress.found) {
            line += tr(" (スキャン中止)");
        }
    }
    lbScan->setText(line);
    sbSkipped->setText(tr("スキップ %1 件").arg(skipped_.size()));
    sbSkipped->setVisible(!skipped_.empty());
}

void TForm1::show_skipped()
{
    QStringList lines;
    for (std::size_t i = 0; i < skipped_.size() && i < skipped_in_box; ++i) {
        lines.append(QFile::decodeName(skipped_[i].path.c_str()) + QStringLiteral(": ") +
                     utf8(skipped_[i].reason));
    }
    if (skipped_.size() > skipped_in_box) {
        lines.append(tr("... ほか %1 件").arg(skipped_.size() - skipped_in_box));
    }
    dialogs_->message(this, lines.join(QLatin1Char('\n')), tr("スキップしたファイル"), QMessageBox::Information,
                      QMessageBox::Ok);
}

void TForm1::series_item_chosen(QTreeWidgetItem* item)
{
    if (const std::optional<SeriesKey> key = key_of(item)) {
        if (key != set_.key()) {
            show_series(*key);
        }
    }
}

void TForm1::show_series(const SeriesKey& key)
{
    if (!set_open_ || !set_.select(key)) {
        return;
    }
    fill_series_pane();
    show_set_image(true);
}

void TForm1::step_in_set(int step)
{
    if (state_.dragging || set_.series() == nullptr) {
        return;
    }
    const int from = set_.step();
    if (!set_.go_to(step)) {
        return;
    }
    step_direction_ = set_.step() >= from ? 1 : -1;
    show_set_image(false);
}

void TForm1::show_set_image(bool opening)
{
    const ImageKey key = set_.image();
    const WindowSetting window{state_.window_level, state_.window_width};
    image_failure failure;
    ImageStepResult result = ImageStepResult::Shown;
    FrameInfo info;
    if (!opening && opened_ && shown_.frame_count > 1 && key.first == opened_->path()) {
        // Another frame of the file shown: decoded alone, the header stays.
        result = opened_->picture(key.second, *display_picture_, info, failure);
    } else {
        std::unique_ptr<PreparedImage> prepared = read_ahead_->take(key, state_);
        if (!prepared->walked) {
            opened_.reset();
            show_listing();
            clear_display(tr("このファイルを開けません"));
            state_.image_shown = false;
            shown_ = {};
            show_frame_title();
            return;
        }
        opened_ = std::move(prepared->file);
        state_ = prepared->state;
        if (!opening) {
            // Stepping keeps the window, as frame stepping does.
            state_.window_level = window.level;
            state_.window_width = window.width;
        }
        std::swap(display_picture_, prepared->picture);
        result = prepared->result;
        info = prepared->info;
        failure = prepared->failure;
        const QString path = QFile::decodeName(key.first.c_str());
        edFname->setText(path);
        file_name_ = QFileInfo(path).fileName();
        show_listing();
        mSave->setEnabled(true);
        sbSave->setEnabled(true);
    }
    if (result == ImageStepResult::Shown) {
        shown_ = {key.second, info.count};
        drag_limits_ = drag_limits(display_picture_->range);
        picture_changed();
        if (opening) {
            apply_open_voi(info);
            zoom_.reset();
        }
        render_display();
    } else {
        state_.image_shown = false;
        shown_ = {};
        clear_display(result == ImageStepResult::NoPixelData
                          ? QString::fromUtf8(msg::no_image)
                          : QString::fromStdString(image_step_box_text(result, failure)));
    }
    show_frame_title();
    read_ahead_->want(set_.around(step_direction_), state_);
    Image->setFocus(Qt::OtherFocusReason);
}

void TForm1::close_set()
{
    scan_timer_->stop();
    scan_.reset();
    waiting_paths_.clear();
    read_ahead_.reset();
    set_ = SetBrowser();
    pending_.clear();
    skipped_.clear();
    set_open_ = false;
    tvSeries->clear();
    tvSeries->hide();
    lbScan->clear();
    sbSkipped->hide();
    sbCancelScan->hide();
    size_for_set(false);
}
