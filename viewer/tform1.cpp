#include "viewer/tform1.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QToolButton>
#include <cstring>

#include "viewer/encoding.h"
#include "viewer/file_save.h"
#include "viewer/hex_dump.h"
#include "viewer/image_step.h"
#include "viewer/messages.h"
#include "viewer/report.h"

namespace {

const QString form_font_family = QStringLiteral("ＭＳ Ｐゴシック");
const QString terminal_family = QStringLiteral("Terminal");

QString from_cp932(const std::string& bytes) { return QString::fromStdString(cp932_to_utf8(bytes)); }

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

    // Client area 745 x 561 below the menu bar, fixed single border.
    move(97, 80);
    setFixedSize(745, 561 + menuBar()->sizeHint().height());
}

TForm1::~TForm1() = default;

void TForm1::create_controls()
{
    auto* client = named(new QWidget(this), "ClientArea");
    client->setFixedSize(745, 561);
    setCentralWidget(client);

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

    sbClose = named(new QToolButton(Panel1), "sbClose");
    sbClose->setGeometry(676, 4, 59, 22);
    sbClose->setAutoRaise(true);
    sbClose->setIcon(two_state_glyph(draw_exit));
    sbClose->setText(QStringLiteral("終了"));
    sbClose->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(sbClose, &QToolButton::clicked, this, &TForm1::Exit1Click);

    Label1 = named(new QLabel(QStringLiteral("File"), Panel1), "Label1");
    Label1->move(112, 8);
    Label1->adjustSize();

    edFname = named(new QLineEdit(Panel1), "edFname");
    edFname->setGeometry(136, 4, 221, 20);

    Label2 = named(new QLabel(QStringLiteral("Header Size"), Panel1), "Label2");
    Label2->move(424, 12);
    Label2->adjustSize();

    edHsize = named(new QLineEdit(Panel1), "edHsize");
    edHsize->setGeometry(492, 4, 77, 20);

    Panel2 = panel(client, "Panel2", QFrame::Panel, QFrame::Raised, 1);
    Panel2->setGeometry(0, 29, 745, 532);
    Panel2->installEventFilter(this);

    Panel4 = panel(Panel2, "Panel4", QFrame::NoFrame, QFrame::Plain, 0);
    Panel4->setGeometry(8, 8, 462, 262);

    Memo = named(new QPlainTextEdit(Panel4), "Memo");
    Memo->setGeometry(0, 0, 462, 262);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setFont(pixel_font(terminal_family, 13));
    QPalette memo_palette = Memo->palette();
    memo_palette.setColor(QPalette::Base, QColor(0, 0, 128));
    memo_palette.setColor(QPalette::Text, Qt::white);
    Memo->setPalette(memo_palette);

    Panel3 = panel(Panel2, "Panel3", QFrame::Panel, QFrame::Sunken, 2);
    Panel3->setGeometry(476, 8, 260, 260);
    Panel3->setAutoFillBackground(true);
    QPalette black = Panel3->palette();
    black.setColor(QPalette::Window, Qt::black);
    Panel3->setPalette(black);

    // The picture goes here; the image step fills it and the mouse windows it.
    Image = named(new QLabel(Panel3), "Image");
    Image->setGeometry(2, 2, 256, 256);
    Image->setScaledContents(true);
    Image->installEventFilter(this);

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

    strGrid = named(new QTableWidget(Panel2), "strGrid");
    strGrid->setGeometry(8, 276, 725, 245);
    strGrid->setColumnCount(grid_columns);
    strGrid->setFont(pixel_font(terminal_family, 14));
    strGrid->horizontalHeader()->setFont(pixel_font(terminal_family, 14));
    strGrid->verticalHeader()->hide();
    strGrid->verticalHeader()->setMinimumSectionSize(16);
    strGrid->verticalHeader()->setDefaultSectionSize(16);
    strGrid->horizontalHeader()->setFixedHeight(16);
    strGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    strGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    strGrid->setWordWrap(false);
    strGrid->setTextElideMode(Qt::ElideNone);
    const int widths[grid_columns] = {42, 43, 25, 52, 203, 548};
    for (int c = 0; c < grid_columns; ++c) {
        strGrid->setColumnWidth(c, widths[c]);
    }
}

void TForm1::create_menu()
{
    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    File1 = MainMenu1->addMenu(QStringLiteral("ファイル (&F)"));
    File1->setObjectName(QStringLiteral("File1"));

    Open1 = named(File1->addAction(QStringLiteral("DICOMファイルを開く...")), "Open1");
    Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);

    mSave = named(File1->addAction(QStringLiteral("ヘッダ情報を保存...")), "mSave");
    mSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mSave->setEnabled(false);
    connect(mSave, &QAction::triggered, this, &TForm1::sbSaveClick);

    N1 = named(File1->addSeparator(), "N1");

    Exit1 = named(File1->addAction(QStringLiteral("終了 (&X)")), "Exit1");
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);

    N2 = named(MainMenu1->addAction(QString()), "N2");
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel2 && event->type() == QEvent::Resize) {
        Panel2Resize();
    }
    if (watched == Image) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            ImageMouseDown(mouse->button(), mouse->position().toPoint().x(), mouse->position().toPoint().y());
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            ImageMouseMove(mouse->position().toPoint().x(), mouse->position().toPoint().y());
            return true;
        }
        case QEvent::MouseButtonRelease: ImageMouseUp(); return true;
        default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Panel2Resize()
{
    // Memo outgrows Panel4, which clips it to 462 x 262.
    Memo->resize(Panel2->width() - 20, Panel2->height() - 20);
}

int TForm1::message(const char* text, const char* caption, QMessageBox::Icon icon,
                    QMessageBox::StandardButtons buttons)
{
    return dialogs_->message(this, QString::fromUtf8(text), QString::fromUtf8(caption), icon, buttons);
}

std::FILE* TForm1::check_dicom_file(const QString& path)
{
    FileCheck check{};
    std::FILE* file = ::check_dicom_file(QFile::encodeName(path).constData(), check);
    switch (check) {
    case FileCheck::cannot_open:
        message(msg::cannot_open, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
        break;
    case FileCheck::too_short:
        message(msg::not_dicom, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
        break;
    case FileCheck::not_part10:
        message(msg::not_part10, msg::caption_information, QMessageBox::NoIcon, QMessageBox::Ok);
        break;
    case FileCheck::part10: break;
    }
    return file;
}

void TForm1::Open1Click()
{
    const QString path = dialogs_->openFile(this);
    if (path.isEmpty()) {
        return;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path), std::fclose);
    if (!file) {
        return;
    }
    edFname->setText(path);
    walk_header(file.get(), listing_, state_);
    file.reset();
    show_listing();
    mSave->setEnabled(true);
    sbSave->setEnabled(true);

    load_display_image(path);
}

void TForm1::load_display_image(const QString& path)
{
    state_.image_shown = false;
    const ImageStepResult result = ::load_display_image(QFile::encodeName(path).constData(), *display_samples_);
    if (result != ImageStepResult::Shown) {
        // Image keeps the previous picture; the mouse no longer windows it.
        message(image_step_message(result), "ERROR", QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    render_display();
}

void TForm1::render_display()
{
    render_display_pixels(*display_samples_, state_.window_level, state_.window_width, state_.rescale_intercept,
                          *display_pixels_);
    // display_pixels runs bottom row first, as the bitmap header says.
    for (int r = 0; r < display_size; ++r) {
        std::memcpy(display_bitmap_.scanLine(r),
                    &(*display_pixels_)[static_cast<std::size_t>(display_size - 1 - r) * display_size],
                    display_size);
    }
    Image->setPixmap(QPixmap::fromImage(display_bitmap_));
    state_.image_shown = true;
}

void TForm1::ImageMouseDown(Qt::MouseButton button, int x, int y)
{
    if (!state_.image_shown || button != Qt::LeftButton) {
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
    drag_ = drag_window({state_.window_level, state_.window_width}, drag_start_x_, drag_start_y_, x, y);
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
    render_display();
}

void TForm1::show_listing()
{
    edHsize->setText(QString::fromStdString(listing_.header_size_text));

    QStringList lines;
    const std::vector<std::string>& memo = listing_.memo.empty() ? dump_header_lines() : listing_.memo;
    for (const std::string& line : memo) {
        lines.append(from_cp932(line));
    }
    Memo->setPlainText(lines.join(QLatin1Char('\n')));

    const ElementGrid& grid = listing_.grid;
    QStringList header;
    for (int c = 0; c < grid_columns; ++c) {
        header.append(from_cp932(grid.cell(0, c)));
    }
    strGrid->setHorizontalHeaderLabels(header);
    strGrid->clearContents();
    // Row 0 of the grid is the header; every element row gets a visible row.
    const int rows = std::max(grid.row_count(), state_.next_row) - 1;
    strGrid->setRowCount(rows);
    for (int r = 1; r < state_.next_row; ++r) {
        for (int c = 0; c < grid_columns; ++c) {
            const std::string& cell = grid.cell(r, c);
            if (!cell.empty()) {
                strGrid->setItem(r - 1, c, new QTableWidgetItem(from_cp932(cell)));
            }
        }
    }
}

void TForm1::sbSaveClick()
{
    const std::vector<std::string> memo_lines = split_memo_lines(utf8_to_cp932(Memo->toPlainText().toStdString()));
    if (memo_lines.empty()) {
        message(msg::summary_empty, msg::caption_notice, QMessageBox::NoIcon,
                QMessageBox::Ok | QMessageBox::Cancel);
        return;
    }
    const QString path = dialogs_->saveFile(this);
    if (path.isEmpty()) {
        return;
    }
    const std::string report = build_report(memo_lines, listing_.grid, state_.next_row);
    if (!save_file(QFile::encodeName(path).toStdString(), report)) {
        message(msg::cannot_create, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
    }
}

void TForm1::Exit1Click() { close(); }
