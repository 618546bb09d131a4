#include "viewer/tform1.h"

#include <QAction>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfDocument>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "browser/fold_state.h"
#include "browser/row_find.h"
#include "document/walked_report.h"
#include "series/dicomdir.h"
#include "series/folder_scan.h"
#include "view/playback.h"
#include "viewer/about.h"
#include "viewer/dump_view.h"
#include "viewer/encoding.h"
#include "viewer/file_drop.h"
#include "viewer/file_save.h"
#include "viewer/grid_model.h"
#include "viewer/hex_dump.h"
#include "viewer/image_step.h"
#include "viewer/language.h"
#include "viewer/messages.h"
#include "viewer/pacs_dialog.h"
#include "viewer/read_ahead.h"
#include "viewer/report.h"
#include "viewer/window_choices.h"

namespace {

const QString form_font_family = QStringLiteral("ＭＳ Ｐゴシック");
const QString terminal_family = QStringLiteral("Terminal");

// A form font given as a character height in pixels.
QFont pixel_font(const QString& family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    if (family == terminal_family) {
        font.setStyleHint(QFont::TypeWriter);
    }
    return font;
}

// 16 x 16 glyphs in two states: normal, and grayed for a disabled button.
QIcon two_state_glyph(void (*draw)(QPainter&))
{
    QPixmap normal(16, 16);
    normal.fill(Qt::transparent);
    {
        QPainter p(&normal);
        draw(p);
    }
    QImage gray = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < gray.height(); ++y) {
        for (int x = 0; x < gray.width(); ++x) {
            const QColor c = gray.pixelColor(x, y);
            const int g = 128 + qGray(c.rgb()) / 3;
            gray.setPixelColor(x, y, QColor(g, g, g, c.alpha()));
        }
    }
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(gray), QIcon::Disabled);
    return icon;
}

void draw_folder(QPainter& p)
{
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(255, 208, 64));
    p.drawRect(1, 4, 13, 10);
    p.drawRect(1, 2, 5, 2);
}

void draw_disk(QPainter& p)
{
    p.setPen(Qt::black);
    p.setBrush(QColor(32, 64, 160));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(4, 9, 7, 5);
}

void draw_ruler(QPainter& p)
{
    p.setPen(Qt::black);
    p.setBrush(QColor(240, 200, 96));
    p.drawPolygon(QPolygon({QPoint(1, 11), QPoint(11, 1), QPoint(14, 4), QPoint(4, 14)}));
    for (int i = 0; i < 4; ++i) {
        p.drawLine(4 + 2 * i, 8 - 2 * i, 6 + 2 * i, 10 - 2 * i);
    }
}

void draw_exit(QPainter& p)
{
    p.setPen(QPen(QColor(192, 0, 0), 2));
    p.drawLine(3, 3, 12, 12);
    p.drawLine(12, 3, 3, 12);
}

QFrame* panel(QWidget* parent, const char* name, QFrame::Shape shape, QFrame::Shadow shadow, int line_width)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameStyle(shape | shadow);
    frame->setLineWidth(line_width);
    return frame;
}

template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

void install_font_substitutes()
{
    QFont::insertSubstitution(form_font_family, QStringLiteral("IPAPGothic"));
    QFont::insertSubstitutions(terminal_family, {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
}

TForm1::TForm1(Dialogs* dialogs, QWidget* parent) : QMainWindow(parent)
{
    if (dialogs == nullptr) {
        own_dialogs_ = std::make_unique<Dialogs>();
        dialogs = own_dialogs_.get();
    }
    dialogs_ = dialogs;

    install_font_substitutes();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmor"));
    setFont(pixel_font(form_font_family, 12));

    create_controls();
    create_menu();
    Panel2Resize();
    setAcceptDrops(true);

    // The display picture: header, gray palette, 256 x 256 bitmap.
    init_gray_palette(display_info_, false);
    display_bitmap_ = QImage(display_size, display_size, QImage::Format_Indexed8);
    QList<QRgb> colors;
    for (const auto& entry : display_info_.palette) {
        colors.append(qRgb(entry[2], entry[1], entry[0]));
    }
    display_bitmap_.setColorTable(colors);
    display_bitmap_.fill(0);

    show_listing();

    // The scan's line: files read and found, Cancel, and the paths passed over.
    lbScan = named(new QLabel(this), "lbScan");
    sbCancelScan = named(new QToolButton(this), "sbCancelScan");
    sbCancelScan->setText(tr("キャンセル"));
    connect(sbCancelScan, &QToolButton::clicked, this, &TForm1::cancel_scan);
    sbSkipped = named(new QToolButton(this), "sbSkipped");
    connect(sbSkipped, &QToolButton::clicked, this, &TForm1::show_skipped);
    // The status bar below the client area: the values under the cursor,
    // and the scan's line while a set is open.
    lbValues = named(new QLabel(this), "lbValues");
    statusBar()->addWidget(lbValues, 1);
    statusBar()->addPermanentWidget(lbScan);
    statusBar()->addPermanentWidget(sbSkipped);
    statusBar()->addPermanentWidget(sbCancelScan);
    sbSkipped->hide();
    sbCancelScan->hide();
    scan_timer_ = new QTimer(this);
    connect(scan_timer_, &QTimer::timeout, this, &TForm1::poll_scan);
    play_timer_ = new QTimer(this);
    connect(play_timer_, &QTimer::timeout, this, &TForm1::play_step);

    // Client area 745 x 561 between the menu bar and the status bar.
    move(97, 80);
    resize(745, 561 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    // Lays out the splitter now, so that the controls have their places
    // before the window first shows.
    layout()->activate();
}

void TForm1::size_for_set(bool set_open)
{
    // The series pane adds its room to the window's; the client area keeps its size.
    const int pane = 280 + splitter->handleWidth();
    // The least size follows the pane shown or hidden before the window resizes.
    QCoreApplication::sendPostedEvents(splitter, QEvent::LayoutRequest);
    layout()->activate();
    if (set_open) {
        resize(width() + pane, height());
    } else {
        resize(std::max(745, width() - pane), height());
    }
}

TForm1::~TForm1()
{
    // A retrieve is cancelled and waited for before the set it feeds goes.
    delete fmPacs;
    scan_.reset();
    read_ahead_.reset();
    // The table outlives the listing it shows: the widgets go after the
    // members, and a closing table still asks its model for rows.
    grid_model->show(nullptr, 0);
}

void TForm1::create_controls()
{
    // The series pane shows left of the client area only while a set is open.
    splitter = named(new QSplitter(Qt::Horizontal, this), "splitter");
    splitter->setChildrenCollapsible(false);
    tvSeries = named(new QTreeWidget(splitter), "tvSeries");
    tvSeries->setHeaderHidden(true);
    tvSeries->setMinimumWidth(120);
    tvSeries->hide();
    connect(tvSeries, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { series_item_chosen(item); });
    connect(tvSeries, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { series_item_chosen(item); });
    auto* client = named(new QWidget(splitter), "ClientArea");
    // The form's size is the least the window takes; it grows from there.
    client->setMinimumSize(745, 561);
    client->resize(745, 561);
    client->installEventFilter(this);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    setCentralWidget(splitter);
    create_toolbar(client);
    create_panes(client);
    create_grid();
}

// Panel1: the tool bar with the buttons, the file name and the header size.
void TForm1::create_toolbar(QWidget* client)
{
    Panel1 = panel(client, "Panel1", QFrame::Panel, QFrame::Raised, 1);
    Panel1->setGeometry(0, 0, 745, 29);

    sbOpen = named(new QToolButton(Panel1), "sbOpen");
    sbOpen->setGeometry(4, 4, 23, 22);
    sbOpen->setAutoRaise(true);
    sbOpen->setIcon(two_state_glyph(draw_folder));
    connect(sbOpen, &QToolButton::clicked, this, &TForm1::Open1Click);

    sbSave = named(new QToolButton(Panel1), "sbSave");
    sbSave->setGeometry(28, 4, 23, 22);
    sbSave->setAutoRaise(true);
    sbSave->setIcon(two_state_glyph(draw_disk));
    sbSave->setEnabled(false);
    connect(sbSave, &QToolButton::clicked, this, &TForm1::sbSaveClick);

    sbRuler = named(new QToolButton(Panel1), "sbRuler");
    sbRuler->setGeometry(56, 4, 23, 22);
    sbRuler->setAutoRaise(true);
    sbRuler->setCheckable(true);
    sbRuler->setIcon(two_state_glyph(draw_ruler));
    sbRuler->setToolTip(tr("距離を測る") + QStringLiteral(" (M)"));

    sbClose = named(new QToolButton(Panel1), "sbClose");
    sbClose->setGeometry(676, 4, 59, 22);
    sbClose->setAutoRaise(true);
    sbClose->setIcon(two_state_glyph(draw_exit));
    sbClose->setText(tr("終了"));
    sbClose->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(sbClose, &QToolButton::clicked, this, &TForm1::Exit1Click);

    Label1 = named(new QLabel(QStringLiteral("File"), Panel1), "Label1");
    Label1->move(112, 8);
    Label1->adjustSize();

    edFname = named(new QLineEdit(Panel1), "edFname");
    edFname->setGeometry(136, 4, 221, 20);
    edFname->setAcceptDrops(false);

    Label2 = named(new QLabel(QStringLiteral("Header Size"), Panel1), "Label2");
    Label2->move(424, 12);
    Label2->adjustSize();

    edHsize = named(new QLineEdit(Panel1), "edHsize");
    edHsize->setGeometry(492, 4, 77, 20);
    edHsize->setAcceptDrops(false);
}

// Panel2 with the dump memo and the image pane.
void TForm1::create_panes(QWidget* client)
{
    Panel2 = panel(client, "Panel2", QFrame::Panel, QFrame::Raised, 1);
    Panel2->setGeometry(0, 29, 745, 532);
    Panel2->installEventFilter(this);

    // The dump left of the picture, the table below both, in splitters whose
    // handles take the gaps of the form's layout.
    splitPanes = named(new QSplitter(Qt::Vertical, Panel2), "splitPanes");
    splitPanes->setHandleWidth(6);
    splitPanes->setChildrenCollapsible(false);
    splitTop = named(new QSplitter(Qt::Horizontal, splitPanes), "splitTop");
    splitTop->setHandleWidth(6);
    splitTop->setChildrenCollapsible(false);

    Panel4 = panel(splitTop, "Panel4", QFrame::NoFrame, QFrame::Plain, 0);
    Panel4->setGeometry(8, 8, 462, 262);
    Panel4->setMinimumSize(120, 80);
    Panel4->installEventFilter(this);

    Memo = named(new DumpView(Panel4), "Memo");
    Memo->setGeometry(0, 0, 462, 262);
    Memo->setFont(pixel_font(terminal_family, 13));
    // A file dropped on the dump opens it instead of pasting its name.
    Memo->setAcceptDrops(false);
    Memo->viewport()->setAcceptDrops(false);
    QPalette memo_palette = Memo->palette();
    memo_palette.setColor(QPalette::Base, QColor(0, 0, 128));
    memo_palette.setColor(QPalette::Text, Qt::white);
    Memo->setPalette(memo_palette);

    Panel3 = panel(splitTop, "Panel3", QFrame::Panel, QFrame::Sunken, 2);
    Panel3->setGeometry(476, 8, 260, 260);
    Panel3->setMinimumSize(68, 68);
    Panel3->installEventFilter(this);
    Panel3->setAutoFillBackground(true);
    QPalette black = Panel3->palette();
    black.setColor(QPalette::Window, Qt::black);
    Panel3->setPalette(black);

    // The picture goes here; the image step fills it and the mouse windows it.
    Image = named(new QLabel(Panel3), "Image");
    Image->setGeometry(2, 2, 256, 256);
    Image->setScaledContents(true);
    Image->setFocusPolicy(Qt::ClickFocus);
    // The values under the cursor follow it without a button held.
    Image->setMouseTracking(true);
    Image->installEventFilter(this);

    // A structured report's content tree, over the picture while such a file is open.
    mmReport = named(new QPlainTextEdit(Panel3), "mmReport");
    mmReport->setReadOnly(true);
    mmReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmReport->setFont(pixel_font(terminal_family, 12));
    mmReport->hide();

    pnWind = named(new QLabel(QStringLiteral("WL=  50,  WW=1000"), Panel3), "pnWind");
    pnWind->setGeometry(72, 116, 133, 21);
    pnWind->setFont(pixel_font(form_font_family, 12, true));
    pnWind->setAlignment(Qt::AlignCenter);
    pnWind->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnWind->setAutoFillBackground(true);
    QPalette face = pnWind->palette();
    face.setColor(QPalette::Window, palette().color(QPalette::Button));
    pnWind->setPalette(face);
    pnWind->hide();
}

// strGrid: the element table below the panes.
void TForm1::create_grid()
{
    // The table under its find field (shown by Ctrl+F).
    paneTable = named(new QWidget(splitPanes), "paneTable");
    auto* table_layout = new QVBoxLayout(paneTable);
    table_layout->setContentsMargins(0, 0, 0, 0);
    table_layout->setSpacing(2);
    edFind = named(new QLineEdit(paneTable), "edFind");
    edFind->hide();
    table_layout->addWidget(edFind);
    strGrid = named(new QTableView(paneTable), "strGrid");
    strGrid->setMinimumHeight(60);
    table_layout->addWidget(strGrid);
    splitPanes->setGeometry(8, 8, 728, 513);
    splitPanes->setSizes({262, 245});
    splitTop->setSizes({462, 260});
    grid_model = new GridModel(strGrid);
    grid_model->show(&listing().grid, state_.next_row);
    strGrid->setModel(grid_model);
    strGrid->setColumnHidden(GridModel::keyword_column, true);
    create_browse();
    strGrid->setFont(pixel_font(terminal_family, 14));
    strGrid->horizontalHeader()->setFont(pixel_font(terminal_family, 14));
    strGrid->verticalHeader()->hide();
    strGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    strGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    strGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    strGrid->setWordWrap(false);
    strGrid->setTextElideMode(Qt::ElideNone);
    strGrid->installEventFilter(this);
    strGrid->horizontalHeader()->installEventFilter(this);
    fit_grid_rows();
    const int widths[grid_columns] = {42, 43, 25, 52, 203, 548};
    for (int c = 0; c < grid_columns; ++c) {
        strGrid->setColumnWidth(c, widths[c]);
    }
}

void TForm1::fit_grid_rows()
{
    // A value in Japanese falls back to the form font: rows fit either.
    const auto line_height = [](const QFont& font) {
        QFont fallback(form_font_family);
        fallback.setPixelSize(font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize());
        return std::max(QFontMetrics(font).lineSpacing(), QFontMetrics(fallback).lineSpacing());
    };
    // One line of text, a pixel above and below it, and the grid line.
    const int row = line_height(strGrid->font()) + 3;
    strGrid->verticalHeader()->setMinimumSectionSize(row);
    strGrid->verticalHeader()->setDefaultSectionSize(row);
    strGrid->horizontalHeader()->setFixedHeight(line_height(strGrid->horizontalHeader()->font()) + 4);
}

void TForm1::create_menu()
{
    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    File1 = MainMenu1->addMenu(tr("ファイル (&F)"));
    File1->setObjectName(QStringLiteral("File1"));

    Open1 = named(File1->addAction(tr("DICOMファイルを開く...")), "Open1");
    Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);

    OpenFolder1 = named(File1->addAction(tr("フォルダを開く...")), "OpenFolder1");
    OpenFolder1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(OpenFolder1, &QAction::triggered, this, &TForm1::OpenFolder1Click);

    Pacs1 = named(File1->addAction(tr("PACS...")), "Pacs1");
    connect(Pacs1, &QAction::triggered, this, &TForm1::Pacs1Click);

    mSave = named(File1->addAction(tr("ヘッダ情報を保存...")), "mSave");
    mSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mSave->setEnabled(false);
    connect(mSave, &QAction::triggered, this, &TForm1::sbSaveClick);

    Export1 = named(File1->addAction(tr("画像をエクスポート...")), "Export1");
    Export1->setEnabled(false);
    connect(Export1, &QAction::triggered, this, &TForm1::Export1Click);

    Compare1 = named(File1->addAction(tr("比較...")), "Compare1");
    Compare1->setEnabled(false);
    connect(Compare1, &QAction::triggered, this, &TForm1::Compare1Click);

    N1 = named(File1->addSeparator(), "N1");

    Exit1 = named(File1->addAction(tr("終了 (&X)")), "Exit1");
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);

    // The window of the picture: the file's, the presets, automatic ones;
    // Invert and Overlays. Also the picture's right-click menu.
    Window1 = MainMenu1->addMenu(tr("ウィンドウ (&W)"));
    Window1->setObjectName(QStringLiteral("Window1"));
    Invert1 = named(new QAction(tr("反転"), this), "Invert1");
    Invert1->setCheckable(true);
    // Single keys act only while the picture has the focus (see eventFilter):
    // the menu names them without taking them as shortcuts.
    Invert1->setText(Invert1->text() + QStringLiteral("\tI"));
    connect(Invert1, &QAction::toggled, this, [this](bool on) {
        invert_ = on;
        if (state_.image_shown) {
            render_display();
        }
    });
    Overlays1 = named(new QAction(tr("オーバーレイ"), this), "Overlays1");
    Overlays1->setCheckable(true);
    Overlays1->setChecked(true);
    Overlays1->setText(Overlays1->text() + QStringLiteral("\tO"));
    connect(Overlays1, &QAction::toggled, this, [this](bool on) {
        overlays_shown_ = on;
        if (state_.image_shown) {
            render_display();
        }
    });
    connect(Window1, &QMenu::aboutToShow, this, &TForm1::fill_window_menu);

    N2 = named(MainMenu1->addAction(QString()), "N2");

    Help1 = MainMenu1->addMenu(tr("ヘルプ (&H)"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Shortcuts1 = named(Help1->addAction(tr("ショートカット")), "Shortcuts1");
    connect(Shortcuts1, &QAction::triggered, this, &TForm1::Shortcuts1Click);
    About1 = named(Help1->addAction(tr("バージョン情報 (&A)...")), "About1");
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
}

void TForm1::Export1Click()
{
    if (!state_.image_shown) {
        return;
    }
    bool full = false;
    const QString path = dialogs_->exportImage(this, full);
    if (path.isEmpty()) {
        return;
    }
    QImage picture = Image->pixmap().toImage();
    if (full) {
        // The whole frame, one image pixel a pixel, with the window, Invert
        // and Overlays of the view.
        take_full_frame(true);
        const FrameImage& frame = display_picture_->frame;
        RenderSettings settings;
        settings.voi = voi_;
        settings.voi.window.center = state_.window_level;
        settings.voi.window.width = state_.window_width;
        settings.invert = invert_;
        settings.overlays = overlays_shown_ && !frame.overlays.empty();
        ViewSamples samples;
        PictureBitmap bitmap;
        if (!view_samples(frame, full_view(), frame.frame_columns, frame.frame_rows, samples) ||
            !render_picture(frame, samples, settings, bitmap)) {
            message(image_failures::out_of_memory().message.c_str(), msg::caption_error, QMessageBox::NoIcon,
                    QMessageBox::Ok);
            return;
        }
        const auto row_bytes = static_cast<qsizetype>(bitmap.width) * bitmap.channels;
        picture = QImage(bitmap.pixels.data(), bitmap.width, bitmap.height, row_bytes,
                         bitmap.channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8)
                      .copy();
    }
    if (!picture.save(path, "PNG")) {
        message(msg::cannot_create, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
    }
}

void TForm1::Shortcuts1Click()
{
    // The menus' shortcuts, then the keys and the mouse over the picture
    // (single keys act only while the picture has the focus).
    const std::pair<QString, QString> keys[] = {
        {Open1->shortcut().toString(QKeySequence::NativeText), tr("DICOMファイルを開く")},
        {OpenFolder1->shortcut().toString(QKeySequence::NativeText), tr("フォルダを開く")},
        {mSave->shortcut().toString(QKeySequence::NativeText), tr("ヘッダ情報を保存")},
        {Find1->shortcut().toString(QKeySequence::NativeText), tr("表を検索")},
        {QStringLiteral("Enter, F3 / Shift+F3"), tr("次 / 前の一致")},
        {QStringLiteral("Left / Right"), tr("シーケンスと項目を折りたたむ / 開く (表)")},
        {QKeySequence(QKeySequence::Copy).toString(QKeySequence::NativeText), tr("選んだ行をコピー (表)")},
        {QStringLiteral("Page Down / Page Up"), tr("次 / 前の画像 (フレーム)")},
        {QStringLiteral("Home / End"), tr("最初 / 最後の画像")},
        {tr("ホイール"), tr("次 / 前の画像 (フレーム)")},
        {tr("左ドラッグ"), tr("ウィンドウレベルとウィンドウ幅")},
        {tr("右クリック"), tr("ウィンドウメニュー")},
        {tr("Ctrl + ホイール, + / -"), tr("拡大 / 縮小 (カーソルの位置で)")},
        {QStringLiteral("F / 1"), tr("全体を表示 / 等倍")},
        {tr("中ボタンドラッグ, Space + 左ドラッグ"), tr("移動")},
        {QStringLiteral("M"), tr("距離を測る (左ドラッグ)")},
        {QStringLiteral("Esc"), tr("計測線を消す")},
        {QStringLiteral("I"), tr("反転")},
        {QStringLiteral("O"), tr("オーバーレイ")},
        {QStringLiteral("P"), tr("フレームを再生 / 停止")},
    };
    QStringList lines;
    for (const auto& [key, what] : keys) {
        lines.append(key + QStringLiteral("\t") + what);
    }
    dialogs_->message(this, lines.join(QLatin1Char('\n')), tr("ショートカット"), QMessageBox::NoIcon,
                      QMessageBox::Ok);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize &&
        (watched == Panel2 || watched == Panel4 || watched == Panel3 || watched == centralWidget())) {
        Panel2Resize();
    } else if (event->type() == QEvent::Resize && watched->objectName() == QLatin1String("ClientArea")) {
        // The tool bar and Panel2 span the client area; the exit button stays right.
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        Panel1->setGeometry(0, 0, size.width(), 29);
        sbClose->move(size.width() - 69, 4);
        Panel2->setGeometry(0, 29, size.width(), size.height() - 29);
    }
    if (strGrid != nullptr && (watched == strGrid || watched == strGrid->horizontalHeader()) &&
        event->type() == QEvent::FontChange) {
        fit_grid_rows();
    }
    if (strGrid != nullptr && browse_event(watched, event)) {
        return true;
    }
    if (watched == Image) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            Image->setFocus(Qt::MouseFocusReason);
            const bool pan =
                mouse->button() == Qt::MiddleButton || (mouse->button() == Qt::LeftButton && space_held_);
            if (pan && state_.image_shown) {
                panning_ = true;
                pan_from_ = mouse->position();
                return true;
            }
            if (mouse->button() == Qt::LeftButton && sbRuler->isChecked()) {
                start_ruler(mouse->position());
                return true;
            }
            ImageMouseDown(mouse->button(), mouse->position().toPoint().x(), mouse->position().toPoint().y());
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (panning_) {
                const QPointF delta = mouse->position() - pan_from_;
                pan_from_ = mouse->position();
                pan_picture(delta.x(), delta.y());
            } else if (ruler_drag_) {
                move_ruler(mouse->position());
            } else {
                ImageMouseMove(mouse->position().toPoint().x(), mouse->position().toPoint().y());
            }
            show_readout(mouse->position());
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (panning_) {
                panning_ = false;
                return true;
            }
            if (ruler_drag_) {
                end_ruler();
                return true;
            }
            ImageMouseUp();
            return true;
        case QEvent::Leave: show_readout(std::nullopt); break;
        case QEvent::FocusOut: space_held_ = false; break;
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) {
                space_held_ = false;
                return true;
            }
            break;
        }
        case QEvent::ContextMenu:
            fill_window_menu();
            Window1->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        case QEvent::Resize:
            mmReport->setGeometry(Image->geometry());
            if (pdf_) {
                show_pdf_page(shown_.frame);
            } else if (state_.image_shown) {
                render_display();
            }
            break;
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            if (wheel->modifiers() & Qt::ControlModifier) {
                // Ctrl + wheel zooms about the cursor, 1.25 x a notch.
                zoom_picture(std::pow(1.25, wheel->angleDelta().y() / 120.0), wheel->position().x(),
                             wheel->position().y());
                return true;
            }
            ImageWheel(wheel->angleDelta().y());
            return true;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_PageDown || key == Qt::Key_PageUp || key == Qt::Key_Home || key == Qt::Key_End) {
                ImageKeyPress(key);
                return true;
            }
            if (key == Qt::Key_Plus || key == Qt::Key_Equal || key == Qt::Key_Minus) {
                zoom_picture(key == Qt::Key_Minus ? 0.8 : 1.25, Image->width() / 2.0, Image->height() / 2.0);
                return true;
            }
            if (key == Qt::Key_F || key == Qt::Key_1) {
                if (key == Qt::Key_F) {
                    fit_picture();
                } else {
                    actual_size_picture();
                }
                return true;
            }
            if (key == Qt::Key_Space) {
                space_held_ = true;
                return true;
            }
            if (key == Qt::Key_M) {
                sbRuler->toggle();
                return true;
            }
            if (key == Qt::Key_Escape) {
                clear_rulers();
                return true;
            }
            if (key == Qt::Key_P) {
                toggle_playback();
                return true;
            }
            if (key == Qt::Key_I || key == Qt::Key_O) {
                QAction* action = key == Qt::Key_I ? Invert1 : Overlays1;
                if (state_.image_shown) {
                    action->toggle();
                }
                return true;
            }
            break;
        }
        default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Panel2Resize()
{
    // The panes keep the form's margins: 8 left and top, 9 right, 11 below.
    splitPanes->setGeometry(8, 8, Panel2->width() - 17, Panel2->height() - 19);
    // The memo fills Panel4, both scroll bars in sight.
    Memo->resize(Panel4->size());
    // The picture: the largest square inside Panel3's frame, centred; at the
    // form's size the 256 x 256 of the form.
    const int frame = Panel3->frameWidth();
    const QRect inside = Panel3->rect().adjusted(frame, frame, -frame, -frame);
    const int side = std::max(1, std::min(inside.width(), inside.height()));
    Image->setGeometry(inside.x() + (inside.width() - side) / 2, inside.y() + (inside.height() - side) / 2, side,
                       side);
    pnWind->move(Image->x() + (side - pnWind->width()) / 2, Image->y() + (side - pnWind->height()) / 2);
}

int TForm1::message(const char* text, const char* caption, QMessageBox::Icon icon,
                    QMessageBox::StandardButtons buttons)
{
    return dialogs_->message(this, window_message(text), window_message(caption), icon, buttons);
}

void TForm1::show_check_box(const QString& path, FileCheck check, int error)
{
    switch (check) {
    case FileCheck::cannot_open:
        message(cannot_open_text(error).c_str(), msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
        break;
    case FileCheck::folder:
        message(folder_text(path.toUtf8().constData()).c_str(), msg::caption_error, QMessageBox::NoIcon,
                QMessageBox::Ok);
        break;
    case FileCheck::too_short:
        message(msg::not_dicom, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
        break;
    case FileCheck::not_part10:
        message(msg::not_part10, msg::caption_information, QMessageBox::NoIcon, QMessageBox::Ok);
        break;
    case FileCheck::part10: break;
    }
}

void TForm1::Open1Click()
{
    const QString path = dialogs_->openFile(this);
    if (path.isEmpty()) {
        return;
    }
    open_file(path);
}

void TForm1::open_file(const QString& path)
{
    // A DICOMDIR stands for the files of its medium: they open as a set.
    if (is_dicomdir(QFile::encodeName(path).toStdString())) {
        open_set({path});
        return;
    }
    // A refused file leaves the file shown as it was.
    auto opened = std::make_unique<OpenedFile>();
    const bool walked = opened->open(QFile::encodeName(path).constData(), state_);
    show_check_box(path, opened->check(), opened->error());
    if (!walked) {
        return;
    }
    if (set_open_) {
        close_set();
    }
    play_timer_->stop();
    opened_ = std::move(opened);
    edFname->setText(path);
    file_name_ = QFileInfo(path).fileName();
    show_listing();
    mSave->setEnabled(true);
    sbSave->setEnabled(true);

    load_display_image();
    // Page Down and the other frame keys work at once.
    Image->setFocus(Qt::OtherFocusReason);
}

void TForm1::show_and_open(const QString& file)
{
    show();
    if (!file.isEmpty()) {
        open_file(file);
    }
}

void TForm1::show_and_open_set(const QStringList& paths)
{
    show();
    open_set(paths);
}

void TForm1::OpenFolder1Click()
{
    const QString path = dialogs_->openFolder(this);
    if (!path.isEmpty()) {
        open_set({path});
    }
}

void TForm1::show_structured_report()
{
    const std::vector<std::string> lines = structured_report_lines(listing(), opened_->path());
    if (lines.empty()) {
        return;
    }
    QStringList text;
    for (const std::string& line : lines) {
        text.append(QString::fromStdString(line));
    }
    mmReport->setGeometry(Image->geometry());
    mmReport->setPlainText(text.join(QLatin1Char('\n')));
    mmReport->show();
}

void TForm1::show_encapsulated_pdf()
{
    const std::optional<std::string> bytes = encapsulated_pdf(listing(), opened_->path());
    if (!bytes) {
        return;
    }
    pdf_ = std::make_unique<QPdfDocument>();
    auto* buffer = new QBuffer(pdf_.get());
    buffer->setData(QByteArray::fromStdString(*bytes));
    buffer->open(QIODevice::ReadOnly);
    pdf_->load(buffer);
    if (pdf_->status() != QPdfDocument::Status::Ready || pdf_->pageCount() < 1) {
        pdf_.reset();
        return;
    }
    show_pdf_page(0);
}

void TForm1::show_pdf_page(int page)
{
    page = std::clamp(page, 0, pdf_->pageCount() - 1);
    shown_ = {page, pdf_->pageCount()};
    // The page as large as the pane takes it, centred on black.
    const QSize pane = Image->size();
    const QSize fitted = pdf_->pagePointSize(page).toSize().scaled(pane, Qt::KeepAspectRatio);
    QImage picture(pane, QImage::Format_RGB32);
    picture.fill(Qt::black);
    if (!fitted.isEmpty()) {
        // The page is white paper; what the PDF leaves transparent shows it.
        QPainter painter(&picture);
        const QRect paper(QPoint((pane.width() - fitted.width()) / 2, (pane.height() - fitted.height()) / 2),
                          fitted);
        painter.fillRect(paper, Qt::white);
        painter.drawImage(paper.topLeft(), pdf_->render(page, fitted));
    }
    Image->setPixmap(QPixmap::fromImage(picture));
    show_frame_title();
}

void TForm1::load_display_image()
{
    pdf_.reset();
    mmReport->hide();
    mmReport->clear();
    state_.image_shown = false;
    shown_ = {};
    full_frame_.reset();
    FrameInfo info;
    image_failure failure;
    // Shown at once from a reduced-resolution decode where the codec has
    // one, covering the pane and the 256 x 256 picture; the whole frame
    // follows from the background.
    const PictureSize pane{std::max(Image->width(), display_size), std::max(Image->height(), display_size)};
    const ImageStepResult result =
        open_picture(*opened_, 0, state_, false, *display_picture_, info, failure, &pane);
    if (result == ImageStepResult::NoPixelData) {
        // Nothing failed: the file holds no image, and the pane says so, or
        // shows the structured report it holds.
        clear_display(QString::fromUtf8(msg::no_image));
        show_structured_report();
        show_encapsulated_pdf();
        show_frame_title();
        return;
    }
    if (result != ImageStepResult::Shown) {
        clear_display();
        show_frame_title();
        message(image_step_box_text(result, failure).c_str(), "ERROR", QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    shown_ = {0, info.count};
    drag_limits_ = drag_limits(display_picture_->range);
    picture_changed();
    if (display_picture_->frame.reduced()) {
        full_frame_ = std::make_unique<FullFrame>(opened_->path(), 0, [this] {
            QMetaObject::invokeMethod(
                this, [this] { take_full_frame(false); }, Qt::QueuedConnection);
        });
    }
    apply_open_voi(info);
    zoom_.reset();
    show_frame_title();
    render_display();
}

void TForm1::take_full_frame(bool wait)
{
    if (!full_frame_ || (!wait && !full_frame_->done())) {
        return;
    }
    std::optional<FrameImage> full = full_frame_->take();
    full_frame_.reset();
    // A failed decode leaves the reduced picture.
    auto picture = std::make_unique<DisplayPicture>();
    if (!full || !state_.image_shown || !picture->show(std::move(*full))) {
        return;
    }
    display_picture_ = std::move(picture);
    pane_view_size_ = QSize();
    drag_limits_ = drag_limits(display_picture_->range);
    if (!wait) {
        render_display();
    }
}

void TForm1::step_to_frame(int index)
{
    if (pdf_) {
        show_pdf_page(index);
        return;
    }
    if (!state_.image_shown || shown_.frame_count < 2 || state_.dragging) {
        return;
    }
    index = std::clamp(index, 0, shown_.frame_count - 1);
    if (index == shown_.frame) {
        return;
    }
    FrameInfo info;
    image_failure failure;
    const ImageStepResult result = opened_->picture(index, *display_picture_, info, failure);
    if (result != ImageStepResult::Shown) {
        state_.image_shown = false;
        shown_ = {};
        clear_display();
        show_frame_title();
        message(image_step_box_text(result, failure).c_str(), "ERROR", QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    shown_.frame = index;
    drag_limits_ = drag_limits(display_picture_->range);
    picture_changed();
    show_frame_title();
    render_display();
}

void TForm1::show_frame_title()
{
    if (set_open_ && set_.series() != nullptr) {
        setWindowTitle(QStringLiteral("Velmor - ") + QString::fromStdString(set_.title()));
        return;
    }
    QString title = QStringLiteral("Velmor");
    if (!file_name_.isEmpty()) {
        title += QStringLiteral(" - ") + file_name_;
    }
    if (shown_.frame_count > 1) {
        title += QStringLiteral(" - %1 / %2").arg(shown_.frame + 1).arg(shown_.frame_count);
    }
    setWindowTitle(title);
}

void TForm1::ImageWheel(int angle_delta)
{
    if (set_open_) {
        if (angle_delta != 0) {
            step_in_set(set_.step() + (angle_delta < 0 ? 1 : -1));
        }
        return;
    }
    if (angle_delta < 0) {
        step_to_frame(shown_.frame + 1);
    } else if (angle_delta > 0) {
        step_to_frame(shown_.frame - 1);
    }
}

void TForm1::ImageKeyPress(int key)
{
    if (set_open_) {
        switch (key) {
        case Qt::Key_PageDown: step_in_set(set_.step() + 1); break;
        case Qt::Key_PageUp: step_in_set(set_.step() - 1); break;
        case Qt::Key_Home: step_in_set(0); break;
        case Qt::Key_End: step_in_set(set_.steps() - 1); break;
        default: break;
        }
        return;
    }
    switch (key) {
    case Qt::Key_PageDown: step_to_frame(shown_.frame + 1); break;
    case Qt::Key_PageUp: step_to_frame(shown_.frame - 1); break;
    case Qt::Key_Home: step_to_frame(0); break;
    case Qt::Key_End: step_to_frame(shown_.frame_count - 1); break;
    default: break;
    }
}

void TForm1::toggle_playback()
{
    if (play_timer_->isActive()) {
        play_timer_->stop();
        return;
    }
    if (set_open_ || pdf_ || !state_.image_shown || shown_.frame_count < 2) {
        return;
    }
    play_timer_->start(frame_interval_ms(view_attributes()));
}

void TForm1::play_step()
{
    if (set_open_ || pdf_ || !state_.image_shown || shown_.frame_count < 2) {
        play_timer_->stop();
        return;
    }
    step_to_frame((shown_.frame + 1) % shown_.frame_count);
    if (!state_.image_shown) {
        play_timer_->stop(); // the frame failed, and said why
    }
}

bool TForm1::playing() const { return play_timer_->isActive(); }

void TForm1::render_display()
{
    // The picture at the pane's size: at the form's 256 x 256 the picture of
    // the Open, larger or smaller resampled from the frame's samples again
    // (once a size; a window change maps the same samples).
    const QSize size = Image->size();
    const ViewSamples* samples = &display_picture_->view;
    if (size != QSize(display_size, display_size) || zoom_) {
        const ViewRect view = shown_view();
        if (view_needs_full_frame(display_picture_->frame, view)) {
            take_full_frame(true); // a zoom past the reduced frame waits for the whole one
        }
        if (pane_view_size_ != size || pane_view_rect_ != view) {
            if (!view_samples(display_picture_->frame, view, size.width(), size.height(), pane_view_)) {
                pane_view_size_ = QSize();
                return;
            }
            pane_view_size_ = size;
            pane_view_rect_ = view;
        }
        samples = &pane_view_;
    }
    RenderSettings settings;
    settings.voi = voi_;
    settings.voi.window.center = state_.window_level;
    settings.voi.window.width = state_.window_width;
    settings.invert = invert_;
    settings.overlays = overlays_shown_ && !display_picture_->frame.overlays.empty();
    PictureBitmap rendered;
    if (!render_picture(display_picture_->frame, *samples, settings, rendered)) {
        return;
    }
    const bool colour = rendered.channels == 3;
    QImage picture(rendered.width, rendered.height, colour ? QImage::Format_RGB888 : QImage::Format_Indexed8);
    if (!colour) {
        picture.setColorTable(display_bitmap_.colorTable());
    }
    const auto row_bytes = static_cast<std::size_t>(rendered.width) * static_cast<std::size_t>(rendered.channels);
    for (int r = 0; r < rendered.height; ++r) {
        std::memcpy(picture.scanLine(r), &rendered.pixels[static_cast<std::size_t>(r) * row_bytes], row_bytes);
    }
    if (!colour && size == QSize(display_size, display_size)) {
        display_bitmap_ = picture;
    }
    rendered_ = picture;
    show_picture();
    state_.image_shown = true;
    Export1->setEnabled(true);
}

ViewRect TForm1::shown_view() const
{
    if (zoom_) {
        return *zoom_;
    }
    const FrameImage& frame = display_picture_->frame;
    return fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing, frame.column_spacing, Image->width(),
                    Image->height());
}

void TForm1::zoom_picture(double factor, double x, double y)
{
    if (!state_.image_shown) {
        return;
    }
    const ViewRect view = shown_view();
    // 1/8 to 32 screen pixels an image pixel, along the finer axis.
    const double finer = std::min(view.scale_x, view.scale_y);
    factor = std::clamp(finer * factor, 1.0 / 8, 32.0) / finer;
    zoom_ = zoom_view(view, factor, x, y);
    render_display();
}

void TForm1::pan_picture(double dx, double dy)
{
    if (!state_.image_shown) {
        return;
    }
    zoom_ = pan_view(shown_view(), dx, dy);
    render_display();
}

void TForm1::fit_picture()
{
    zoom_.reset();
    if (state_.image_shown) {
        render_display();
    }
}

void TForm1::actual_size_picture()
{
    if (!state_.image_shown) {
        return;
    }
    // One image pixel a screen pixel along the finer axis, about the pane's centre.
    const ViewRect view = shown_view();
    zoom_picture(1.0 / std::min(view.scale_x, view.scale_y), Image->width() / 2.0, Image->height() / 2.0);
}

void TForm1::picture_changed()
{
    pane_view_size_ = QSize();
    ruler_drag_.reset();
    full_frame_.reset();
    // A VOI LUT of another file is not this one's: its window applies instead.
    const FrameImage& frame = display_picture_->frame;
    if (voi_.lut >= 0) {
        const auto& choices = frame.windows.choices();
        const bool held = std::any_of(choices.begin(), choices.end(),
                                      [&](const WindowChoice& c) { return c.setting.lut == voi_.lut; });
        if (!held) {
            voi_.lut = -1;
        }
    }
}

void TForm1::apply_open_voi(const FrameInfo& info)
{
    voi_ = open_voi(
        display_picture_->frame, info.bits_allocated,
        {static_cast<double>(state_.window_level), static_cast<double>(state_.window_width), VoiFunction::linear},
        false);
    state_.window_level = static_cast<int32_t>(std::trunc(std::clamp(voi_.window.center, -2e9, 2e9)));
    state_.window_width = static_cast<int32_t>(std::trunc(std::clamp(voi_.window.width, -2e9, 2e9)));
}

void TForm1::fill_window_menu()
{
    Window1->clear();
    const bool windowed = state_.image_shown && display_picture_->kind == PictureKind::windowed;
    if (windowed) {
        // The choice in force: its VOI LUT, or its window's level, width and function.
        const auto in_force = [this](const VoiSetting& c) {
            return c.lut >= 0 ? voi_.lut == c.lut
                              : voi_.lut < 0 && c.window.function == voi_.window.function &&
                                    std::trunc(c.window.center) == state_.window_level &&
                                    std::trunc(c.window.width) == state_.window_width;
        };
        for (const WindowChoice& choice : window_choices(display_picture_->frame)) {
            QString text = QString::fromStdString(choice.name);
            if (choice.setting.lut < 0) {
                const QString values =
                    QStringLiteral("%1 / %2").arg(choice.setting.window.center).arg(choice.setting.window.width);
                text = text.isEmpty() ? values : text + QStringLiteral("  (") + values + QLatin1Char(')');
            } else if (text.isEmpty()) {
                text = QStringLiteral("VOI LUT %1").arg(choice.setting.lut + 1);
            }
            QAction* action = Window1->addAction(text);
            action->setCheckable(true);
            action->setChecked(in_force(choice.setting));
            const VoiSetting setting = choice.setting;
            connect(action, &QAction::triggered, this, [this, setting] { choose_window(setting); });
        }
        Window1->addSeparator();
    }
    Window1->addAction(Invert1);
    Window1->addAction(Overlays1);
    Invert1->setEnabled(state_.image_shown && display_picture_->kind != PictureKind::colour);
    Overlays1->setEnabled(state_.image_shown && !display_picture_->frame.overlays.empty());
}

void TForm1::choose_window(const VoiSetting& setting)
{
    if (!state_.image_shown || state_.dragging) {
        return;
    }
    voi_ = setting;
    if (setting.lut < 0) {
        state_.window_level = static_cast<int32_t>(std::trunc(std::clamp(setting.window.center, -2e9, 2e9)));
        state_.window_width = static_cast<int32_t>(std::trunc(std::clamp(setting.window.width, -2e9, 2e9)));
    }
    render_display();
}

void TForm1::clear_display(const QString& text)
{
    Export1->setEnabled(false);
    QImage black(display_size, display_size, QImage::Format_RGB888);
    black.fill(Qt::black);
    if (!text.isEmpty()) {
        QPainter painter(&black);
        painter.setPen(Qt::white);
        painter.setFont(Image->font());
        painter.drawText(black.rect(), Qt::AlignCenter | Qt::TextWordWrap, text);
    }
    Image->setPixmap(QPixmap::fromImage(black));
}

void TForm1::ImageMouseDown(Qt::MouseButton button, int x, int y)
{
    // A colour or 1-bit picture is not windowed: the panel stays hidden.
    if (!state_.image_shown || button != Qt::LeftButton || display_picture_->kind != PictureKind::windowed) {
        return;
    }
    drag_start_x_ = x;
    drag_start_y_ = y;
    drag_ = {state_.window_level, state_.window_width};
    state_.dragging = true;
    pnWind->setText(QString::fromStdString(window_caption(drag_)));
    pnWind->show();
}

void TForm1::ImageMouseMove(int x, int y)
{
    if (!state_.dragging) {
        return;
    }
    drag_ =
        drag_window({state_.window_level, state_.window_width}, drag_start_x_, drag_start_y_, x, y, drag_limits_);
    pnWind->setText(QString::fromStdString(window_caption(drag_)));
}

void TForm1::ImageMouseUp()
{
    if (!state_.dragging) {
        return;
    }
    state_.dragging = false;
    pnWind->hide();
    state_.window_width = drag_.width;
    state_.window_level = drag_.level;
    voi_.lut = -1;
    render_display();
}

void TForm1::show_listing()
{
    edHsize->setText(QString::fromStdString(listing().header_size_text));

    Memo->set_dump(listing().dump);

    // Row 0 of the grid is the header; every element row gets a visible row.
    grid_model->show(&listing().grid, state_.next_row, &listing().rows);
    strGrid->scrollToTop();
    strGrid->horizontalScrollBar()->setValue(0);
    browse_new_listing();
}

void TForm1::sbSaveClick()
{
    const DumpText& memo = Memo->text();
    if (memo.report_line_count() == 0) {
        message(msg::summary_empty, msg::caption_notice, QMessageBox::NoIcon,
                QMessageBox::Ok | QMessageBox::Cancel);
        return;
    }
    const QString path = dialogs_->saveFile(this);
    if (path.isEmpty()) {
        return;
    }
    const ReportEncoding encoding = dialogs_->savedFileType();
    // The memo's text is UTF-8; Save's first file type is code page 932.
    const MemoLines memo_lines = [&](const std::function<void(std::string&)>& put) {
        memo.report_lines([&](std::string& line) {
            if (encoding == ReportEncoding::cp932) {
                line = utf8_to_cp932(line);
            }
            put(line);
        });
    };
    const std::string report = build_report_from(memo_lines, listing().grid, state_.next_row, encoding);
    if (!save_file(QFile::encodeName(path).toStdString(), report)) {
        message(msg::cannot_create, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
    }
}

void TForm1::Exit1Click() { close(); }

void TForm1::About1Click() { dialogs_->about(this, about_caption(), about_text()); }

namespace {

// A drop with a folder in it opens everything dropped as a set.
bool drops_a_folder(const QMimeData* data)
{
    const QStringList paths = dropped_paths(data);
    return std::any_of(paths.begin(), paths.end(), [](const QString& p) { return QFileInfo(p).isDir(); });
}

} // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (dropped_file(event->mimeData()).isEmpty() && !drops_a_folder(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (dropped_file(event->mimeData()).isEmpty() && !drops_a_folder(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (drops_a_folder(event->mimeData())) {
        event->acceptProposedAction();
        const QStringList paths = dropped_paths(event->mimeData());
        QMetaObject::invokeMethod(
            this, [this, paths] { open_set(paths); }, Qt::QueuedConnection);
        return;
    }
    const QString path = dropped_file(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over, so that the boxes of Open do not hold up
    // the program the file came from.
    QMetaObject::invokeMethod(
        this, [this, path] { open_file(path); }, Qt::QueuedConnection);
}
