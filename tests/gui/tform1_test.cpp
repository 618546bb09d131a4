// The main window driven through scripted dialogs: no test ever blocks.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include "viewer/display.h"
#include "viewer/dump_view.h"
#include "viewer/grid_model.h"
#include "viewer/header_walk.h"
#include "viewer/image_step.h"
#include "viewer/report.h"
#include "viewer/tform1.h"

#include "tests/common/dicom_bytes.h"

using namespace test_dicom;

namespace {

struct Box {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

class ScriptedDialogs : public Dialogs {
public:
    std::deque<QString> open_answers;
    std::deque<QString> save_answers;
    std::vector<Box> boxes;
    int save_asked = 0;
    int button = QMessageBox::Ok;
    ReportEncoding save_type = ReportEncoding::cp932;

    QString openFile(QWidget*) override { return take(open_answers); }
    QString saveFile(QWidget*) override
    {
        ++save_asked;
        return take(save_answers);
    }
    ReportEncoding savedFileType() const override { return save_type; }
    int message(QWidget*, const QString& text, const QString& caption, QMessageBox::Icon icon,
                QMessageBox::StandardButtons buttons) override
    {
        boxes.push_back({text, caption, icon, buttons});
        return button;
    }

private:
    static QString take(std::deque<QString>& answers)
    {
        if (answers.empty()) {
            return {};
        }
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
};

const QString samples = QStringLiteral(VELMOR_PYDICOM_FILES);

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_all(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray qbytes(const DicomBytes& b) { return QByteArray::fromStdString(b.bytes()); }

// The start of a Part-10 file: preamble, meta group (group length and
// transfer syntax), then an explicit VR little endian data set.
DicomBytes part10(const std::string& syntax = "1.2.840.10008.1.2.1")
{
    return DicomBytes::file(syntax, Encoding::ExplicitLittle, {.version = false});
}

// A small Part-10 file: one Shift-JIS name, one undecodable byte, pixel data.
QByteArray small_part10()
{
    DicomBytes b = part10();
    b.element(0x0010, 0x0010, "PN", "\x93\xfa\x96\x7b") // 日本 in CP932
        .element(0x0009, 0x0010, "LO", "a\x80z ")
        .us(0x0028, 0x0010, 1) // one row
        .us(0x0028, 0x0011, 2) // two columns
        .us(0x0028, 0x0100, 16)
        .element(0x0028, 0x1050, "DS", "40\\400")
        .element(0x0028, 0x1051, "DS", "400 ")
        .element(0x7FE0, 0x0010, "OW", std::string(4, '\x01'));
    return qbytes(b);
}

// A Part-10 file of samples without a window of its own, up to its pixel data.
DicomBytes samples_head(const char* photometric, uint16_t columns, uint16_t rows,
                        const std::string& syntax = "1.2.840.10008.1.2.1", uint16_t bits = 16)
{
    DicomBytes b = part10(syntax);
    b.text(0x0028, 0x0004, "CS", photometric).us(0x0028, 0x0010, rows).us(0x0028, 0x0011, columns);
    b.us(0x0028, 0x0100, bits);
    return b;
}

// A Part-10 file of unsigned 16-bit samples without a window of its own.
QByteArray unsigned16_part10(const char* photometric, uint16_t columns, uint16_t rows,
                             const std::vector<uint16_t>& values)
{
    std::string pixels;
    for (const uint16_t v : values) {
        pixels += le16(v);
    }
    return qbytes(samples_head(photometric, columns, rows).element(0x7FE0, 0x0010, "OW", pixels));
}

// A Part-10 file of one text element, (0008,103E) LO, and no Pixel Data.
QByteArray text_part10(const std::string& value) { return qbytes(part10().element(0x0008, 0x103E, "LO", value)); }

// A 52 MB file whose header holds a 50 MB UT value before a 1024 x 1024
// 16-bit picture, written in pieces.
void write_big_value_file(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    constexpr uint32_t text_size = 50000000;
    DicomBytes head = part10();
    head.us(0x0028, 0x0002, 1).text(0x0028, 0x0004, "CS", "MONOCHROME2");
    head.us(0x0028, 0x0010, 1024).us(0x0028, 0x0011, 1024);
    head.us(0x0028, 0x0100, 16).us(0x0028, 0x0101, 12).us(0x0028, 0x0102, 11).us(0x0028, 0x0103, 0);
    f.write(qbytes(head.header(0x0040, 0x0280, "UT", text_size)));
    const QByteArray chunk = QByteArray("The quick brown fox jumps over the lazy dog. ").repeated(10000);
    for (uint32_t left = text_size; left > 0;) {
        const uint32_t n = std::min<uint32_t>(left, uint32_t(chunk.size()));
        f.write(chunk.constData(), n);
        left -= n;
    }
    f.write(qbytes(DicomBytes().header(0x7FE0, 0x0010, "OW", 1024 * 1024 * 2)));
    QByteArray row(2048, '\0');
    for (int i = 0; i < 2048; ++i) {
        row[i] = char(i & 0x0F);
    }
    for (int r = 0; r < 1024; ++r) {
        f.write(row);
    }
}

// A structure set whose ROI Contour Sequence holds 18,462 items of two
// contours each: some 240,000 element rows, and no Pixel Data.
QByteArray many_element_file()
{
    DicomBytes contour;
    contour.element(0x3006, 0x0042, "CS", "CLOSED_PLANAR ")
        .element(0x3006, 0x0046, "IS", "4 ")
        .element(0x3006, 0x0050, "DS", "-10.5\\-20.25\\30\\10.5\\20.25\\30 ");
    DicomBytes b = part10();
    b.element(0x0008, 0x0060, "CS", "RTSTRUCT").header(0x3006, 0x0039, "SQ");
    for (int n = 0; n < 18462; ++n) {
        DicomBytes roi;
        roi.element(0x3006, 0x002A, "IS", "255\\0\\0 ").header(0x3006, 0x0040, "SQ");
        roi.fragment(contour.bytes()).fragment(contour.bytes()).sequence_end();
        roi.text(0x3006, 0x0084, "IS", std::to_string(n + 1));
        b.fragment(roi.bytes());
    }
    return qbytes(b.sequence_end());
}

// The process's resident memory in KiB.
long resident_kib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized_build = true; // the sanitizer's own memory would be counted
#else
constexpr bool sanitized_build = false;
#endif

// The ink of an image: how far below white its pixels are, summed.
long ink(const QImage& image)
{
    long sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += 255 - qGray(image.pixel(x, y));
        }
    }
    return sum;
}

} // namespace

class TForm1Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<TForm1> form_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        auto* d = new ScriptedDialogs;
        dialogs_ = d;
        owned_.reset(d);
        form_ = std::make_unique<TForm1>(d);
    }
    void cleanup()
    {
        form_.reset();
        owned_.reset();
    }

    void startsWithTheFormsLayout()
    {
        TForm1& f = *form_;
        QCOMPARE(f.windowTitle(), QStringLiteral("Velmor"));
        QCOMPARE(f.sbClose->text(), QStringLiteral("終了"));
        // The controls share the window without overlapping: the buttons and
        // fields on the top row (open leftmost, exit rightmost), the dump left
        // of the 256 x 256 picture, the element table below both.
        QWidget* root = f.centralWidget();
        const auto in_window = [root](QWidget* w) { return QRect(w->mapTo(root, QPoint(0, 0)), w->size()); };
        const QList<QWidget*> controls = {f.sbOpen, f.edFname, f.edHsize, f.sbClose,
                                          f.Panel4, f.Panel3,  f.strGrid};
        for (QWidget* a : controls) {
            QVERIFY2(root->rect().contains(in_window(a)), qPrintable(a->objectName()));
            for (QWidget* b : controls) {
                QVERIFY2(a == b || !in_window(a).intersects(in_window(b)),
                         qPrintable(a->objectName() + QStringLiteral(" / ") + b->objectName()));
            }
        }
        for (QWidget* top : std::initializer_list<QWidget*>{f.edFname, f.edHsize, f.sbClose}) {
            QVERIFY(in_window(f.sbOpen).right() < in_window(top).left());
            QVERIFY(in_window(top).bottom() < std::min(in_window(f.Panel4).top(), in_window(f.Panel3).top()));
        }
        QVERIFY(in_window(f.Panel4).right() < in_window(f.Panel3).left());
        QVERIFY(in_window(f.Panel3).bottom() < in_window(f.strGrid).top());
        QCOMPARE(f.Image->size(), QSize(256, 256));
        QVERIFY(f.Panel3->rect().contains(f.Image->geometry()));
        QVERIFY(f.Image->pixmap().isNull());
        QCOMPARE(f.pnWind->text(), QStringLiteral("WL=  50,  WW=1000"));
        QVERIFY(f.pnWind->isHidden());
        // The six columns of the form, and the keywords' column, hidden until asked for.
        QCOMPARE(f.strGrid->model()->columnCount(), 7);
        QVERIFY(f.strGrid->isColumnHidden(6));
        QCOMPARE(f.strGrid->model()->rowCount(), 99);
        QCOMPARE(f.strGrid->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("説明"));
        QCOMPARE(f.strGrid->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("データ"));
        QCOMPARE(f.Memo->toPlainText().split('\n').size(), 2);
        QVERIFY(f.Memo->toPlainText().startsWith(QStringLiteral("Address  00 01")));
        // Panel2Resize: Memo fills Panel4, its scroll bars in sight.
        QCOMPARE(f.Memo->size(), f.Panel4->size());
        QVERIFY(!f.sbSave->isEnabled());
        QVERIFY(!f.mSave->isEnabled());
        QCOMPARE(f.Open1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(f.mSave->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(f.File1->title(), QStringLiteral("ファイル (&F)"));
        QCOMPARE(f.Exit1->text(), QStringLiteral("終了 (&X)"));
        QVERIFY(f.N1->isSeparator());
        QVERIFY(f.N2->text().isEmpty());
        // Fonts: the Japanese form font resolves to IPAPGothic, Terminal to a
        // fixed-pitch font.
        QCOMPARE(QFontInfo(f.font()).family(), QStringLiteral("IPAPGothic"));
        QVERIFY(QFontInfo(f.Memo->font()).fixedPitch());
        QVERIFY(QFontInfo(f.strGrid->font()).fixedPitch());
    }

    void openShowsTheHeaderOfARealFile()
    {
        const QString ct = samples + QStringLiteral("/CT_small.dcm");
        dialogs_->open_answers.push_back(ct);
        form_->Open1Click();
        TForm1& f = *form_;
        QVERIFY(dialogs_->boxes.empty());
        QCOMPARE(f.edFname->text(), ct);
        QCOMPARE(f.edHsize->text(), QStringLiteral("6296"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Velmor - CT_small.dcm"));
        const QStringList memo = f.Memo->toPlainText().split('\n');
        QCOMPARE(memo.size(), 2 + 393 + 1);
        QVERIFY(memo[10].startsWith(QStringLiteral("00000080 44 49 43 4D ")));
        QVERIFY(memo[10].mid(57).startsWith(QStringLiteral("DICM")));
        // 271 elements: the grid grew past its 99 visible rows.
        QCOMPARE(f.state().next_row, 272);
        QCOMPARE(f.strGrid->model()->rowCount(), 271);
        QCOMPARE(cell(270, 0), QStringLiteral("7FE0"));
        QCOMPARE(cell(270, 4), QStringLiteral("Pixel Data"));
        QCOMPARE(cell(270, 5), QStringLiteral("[ 6300 32768 ]"));
        QCOMPARE(cell(0, 0), QStringLiteral("0002"));
        QVERIFY(f.sbSave->isEnabled());
        QVERIFY(f.mSave->isEnabled());
    }

    void saveWritesTheReportBytes()
    {
        const QString ct = samples + QStringLiteral("/CT_small.dcm");
        dialogs_->open_answers.push_back(ct);
        form_->Open1Click();
        const QString out = path("report.txt");
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        QVERIFY(dialogs_->boxes.empty());

        // The same bytes as the walk's own report.
        FileCheck check{};
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(ct.toLocal8Bit().constData(), check),
                                                             std::fclose);
        QVERIFY(file);
        HeaderListing listing;
        ViewerState state;
        walk_header(file.get(), listing, state);
        const std::string expected = build_report(listing.dump.all_lines(), listing.grid, state.next_row);
        const QByteArray written = read_all(out);
        QCOMPARE(written.size(), qsizetype(expected.size()));
        QVERIFY(written == QByteArray::fromStdString(expected));
        QVERIFY(written.contains("\t\x90\xE0\x96\xBE \t[ \x83\x66\x81\x5B\x83\x5E ]\r\n"));

        // Saving again replaces the file.
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        QCOMPARE(read_all(out), written);
        QVERIFY(dialogs_->boxes.empty());

        // A write that fails (a full device) shows the error box.
        dialogs_->save_answers.push_back(QStringLiteral("/dev/full"));
        form_->sbSaveClick();
        QCOMPARE(dialogs_->boxes.size(), std::size_t{1});
        QCOMPARE(dialogs_->boxes[0].text, QStringLiteral("ファイルを作成することができません。"));
    }

    void cellsShowShiftJisAndTheReportKeepsTheBytes()
    {
        const QString file = path("sjis.dcm");
        write_all(file, small_part10());
        dialogs_->open_answers.push_back(file);
        form_->Open1Click();
        TForm1& f = *form_;
        QCOMPARE(cell(2, 5), QStringLiteral("日本"));
        QCOMPARE(cell(3, 5), QStringLiteral("a\uFFFDz "));
        QCOMPARE(f.state().window_level, 40);
        QCOMPARE(f.state().window_width, 400);
        QCOMPARE(f.edHsize->text(), QString::number(128 + 4 + 12 + 28 + 12 + 12 + 3 * 10 + 14 + 12 + 8));

        const QString out = path("sjis.txt");
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        const QByteArray report = read_all(out);
        QVERIFY(report.contains("(0010:0010)  PN  4  \tPatient's Name \t[ \x93\xfa\x96\x7b ]\r\n"));
        QVERIFY(report.contains("\tUnknown \t[ a\x80z  ]\r\n"));
    }

    void declaredCharacterSetShowsDecodedAndSavesInEitherFileType()
    {
        dialogs_->open_answers.push_back(samples + QStringLiteral("/../charset_files/chrH31.dcm"));
        form_->Open1Click();
        const QModelIndexList found = form_->strGrid->model()->match(
            form_->strGrid->model()->index(0, 5), Qt::DisplayRole,
            QStringLiteral("Yamada^Tarou=山田^太郎=やまだ^たろう"), -1, Qt::MatchExactly);
        QCOMPARE(found.size(), qsizetype(1));

        const QString out = path("h31.txt");
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        QVERIFY(read_all(out).contains("[ Yamada^Tarou=\x8e\x52\x93\x63^\x91\xbe\x98\x59=")); // code page 932

        dialogs_->save_type = ReportEncoding::utf8;
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        const QByteArray utf8 = read_all(out);
        QVERIFY(utf8.contains(QStringLiteral("\t説明 \t[ データ ]\r\n").toUtf8()));
        QVERIFY(utf8.contains(QStringLiteral("[ Yamada^Tarou=山田^太郎=やまだ^たろう ]\r\n").toUtf8()));
        QVERIFY(utf8.startsWith("Address  00 01"));
    }

    void fileCheckBoxes()
    {
        const QString good = path("good.dcm");
        write_all(good, small_part10());
        dialogs_->open_answers.push_back(good);
        form_->Open1Click();
        const QString memo_before = form_->Memo->toPlainText();

        // Cannot open: box, nothing changed.
        dialogs_->open_answers.push_back(path("missing.dcm"));
        form_->Open1Click();
        QCOMPARE(dialogs_->boxes.size(), size_t(1));
        QCOMPARE(dialogs_->boxes[0].text,
                 QStringLiteral("ファイルを開くことができません。\nNo such file or directory"));
        QCOMPARE(dialogs_->boxes[0].caption, QStringLiteral("エラー"));
        QCOMPARE(dialogs_->boxes[0].icon, QMessageBox::NoIcon);
        QCOMPARE(dialogs_->boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(form_->edFname->text(), good);

        // A folder: named as one, nothing changed.
        dialogs_->open_answers.push_back(dir_.path());
        form_->Open1Click();
        QCOMPARE(dialogs_->boxes.size(), size_t(2));
        QCOMPARE(dialogs_->boxes[1].text, dir_.path() + QStringLiteral(" is a folder"));
        QCOMPARE(dialogs_->boxes[1].caption, QStringLiteral("エラー"));
        QCOMPARE(form_->edFname->text(), good);
        dialogs_->boxes.erase(dialogs_->boxes.begin() + 1);

        // Fewer than 132 bytes.
        const QString tiny = path("tiny.dcm");
        write_all(tiny, QByteArray(131, 'x'));
        dialogs_->open_answers.push_back(tiny);
        form_->Open1Click();
        QCOMPARE(dialogs_->boxes.size(), size_t(2));
        QCOMPARE(dialogs_->boxes[1].text, QStringLiteral("DICOMファイルではありません。"));
        QCOMPARE(dialogs_->boxes[1].caption, QStringLiteral("エラー"));
        QCOMPARE(form_->edFname->text(), good);
        QCOMPARE(form_->Memo->toPlainText(), memo_before);

        // No "DICM": information, then the walk from byte 0.
        QByteArray bare = qbytes(DicomBytes(Encoding::ImplicitLittle).element(0x0010, 0x0010, "PN", "ABCD"));
        bare += QByteArray(136, '\0'); // 17 empty elements: a data set that ends cleanly
        const QString bare_path = path("bare.dcm");
        write_all(bare_path, bare);
        dialogs_->open_answers.push_back(bare_path);
        form_->Open1Click();
        // It holds no Pixel Data: no box for the picture, the whole file dumped.
        QCOMPARE(dialogs_->boxes.size(), size_t(3));
        QCOMPARE(form_->Memo->text().line_count(), std::size_t{2 + 148 / 16 + 1});
        QCOMPARE(dialogs_->boxes[2].text, QStringLiteral("DICOM Part-10 フォーマットではありません。"));
        QCOMPARE(dialogs_->boxes[2].caption, QStringLiteral("情報"));
        QCOMPARE(dialogs_->boxes[2].icon, QMessageBox::NoIcon);
        QCOMPARE(form_->edFname->text(), bare_path);
        QCOMPARE(form_->edHsize->text(), QString());
        QCOMPARE(cell(0, 5), QStringLiteral("ABCD"));
        QCOMPARE(form_->strGrid->model()->rowCount(), 99);
    }

    void cancellingTheOpenDialogChangesNothing()
    {
        form_->Open1Click();
        QVERIFY(dialogs_->boxes.empty());
        QVERIFY(form_->edFname->text().isEmpty());
        QVERIFY(!form_->sbSave->isEnabled());
        QCOMPARE(form_->Memo->toPlainText().split('\n').size(), 2);
    }

    void emptyMemoGivesTheNoticeBox()
    {
        const QString good = path("memo.dcm");
        write_all(good, small_part10());
        dialogs_->open_answers.push_back(good);
        form_->Open1Click();
        form_->Memo->clear();
        dialogs_->button = QMessageBox::Cancel;
        form_->sbSaveClick();
        QCOMPARE(dialogs_->boxes.size(), size_t(1));
        QCOMPARE(dialogs_->boxes[0].text, QStringLiteral("DICOM summary is empty."));
        QCOMPARE(dialogs_->boxes[0].caption, QStringLiteral("Notice!"));
        QCOMPARE(dialogs_->boxes[0].icon, QMessageBox::NoIcon);
        QCOMPARE(dialogs_->boxes[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(dialogs_->save_asked, 0);
    }

    void editedMemoIsSavedAsTyped()
    {
        const QString good = path("edit.dcm");
        write_all(good, small_part10());
        dialogs_->open_answers.push_back(good);
        form_->Open1Click();
        form_->Memo->setPlainText(QStringLiteral("メモ\nsecond"));
        const QString out = path("edit.txt");
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        QVERIFY(read_all(out).startsWith("\x83\x81\x83\x82\r\nsecond\r\n\r\n------"));
    }

    void reportThatCannotBeCreatedGivesAnErrorBox()
    {
        const QString good = path("c.dcm");
        write_all(good, small_part10());
        dialogs_->open_answers.push_back(good);
        form_->Open1Click();
        const QString out = path("no_such_dir/report.txt");
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        QCOMPARE(dialogs_->boxes.size(), size_t(1));
        QCOMPARE(dialogs_->boxes[0].caption, QStringLiteral("エラー"));
        QVERIFY(!QFile::exists(out));

        // Cancelling the save dialog writes nothing either.
        form_->sbSaveClick();
        QCOMPARE(dialogs_->boxes.size(), size_t(1));
        QCOMPARE(dialogs_->save_asked, 2);
    }

    void openFromTheMenuAndButtonAndExit()
    {
        const QString good = path("menu.dcm");
        write_all(good, small_part10());
        dialogs_->open_answers.push_back(good);
        form_->Open1->trigger();
        QCOMPARE(form_->edFname->text(), good);
        dialogs_->open_answers.push_back(samples + QStringLiteral("/CT_small.dcm"));
        QTest::mouseClick(form_->sbOpen, Qt::LeftButton);
        QCOMPARE(form_->edHsize->text(), QStringLiteral("6296"));
        // The window level of the first file survives a file without one.
        QCOMPARE(form_->state().window_level, 40);

        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->Exit1Click();
        QVERIFY(!form_->isVisible());
    }

    void openShowsTheMonochromePicture()
    {
        const QString ct = samples + QStringLiteral("/CT_small.dcm");
        dialogs_->open_answers.push_back(ct);
        form_->Open1Click();
        QVERIFY(dialogs_->boxes.empty());
        QVERIFY(form_->state().image_shown);
        QCOMPARE(picture(), expected_picture(ct, form_->state()));
        // Not a blank picture: CT_small has structure in its middle.
        const QImage shown = picture();
        QVERIFY(qGray(shown.pixel(128, 128)) != qGray(shown.pixel(5, 5)));
    }

    void colourIsShownAndAFailedImageStepClearsThePicture()
    {
        dialogs_->open_answers.push_back(samples + QStringLiteral("/CT_small.dcm"));
        form_->Open1Click();
        const QString colour = samples + QStringLiteral("/SC_rgb_small_odd.dcm");
        dialogs_->open_answers.push_back(colour);
        form_->Open1Click();
        QVERIFY(dialogs_->boxes.empty());
        QVERIFY(form_->state().image_shown);
        const QImage shown = picture();
        QCOMPARE(shown, expected_picture(colour, form_->state()));
        int coloured = 0;
        for (int y = 0; y < 256; y += 8) {
            for (int x = 0; x < 256; x += 8) {
                const QRgb p = shown.pixel(x, y);
                coloured += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p) ? 1 : 0;
            }
        }
        QVERIFY(coloured > 100);
        // A colour picture is not windowed.
        press(Qt::LeftButton, 100, 100);
        QVERIFY(form_->pnWind->isHidden());
        QVERIFY(!form_->state().dragging);

        // A file without a picture the viewer can show: box, black picture,
        // the new file's name and table.
        const QString hsv = path("hsv.dcm");
        write_all(hsv, unsigned16_part10("HSV", 2, 2, {1, 2, 3, 4}));
        dialogs_->open_answers.push_back(hsv);
        form_->Open1Click();
        QCOMPARE(dialogs_->boxes.size(), size_t(1));
        QCOMPARE(dialogs_->boxes[0].text,
                 QStringLiteral("DICOM Image Load Failed.!\nPhotometric interpretation HSV is not shown."));
        QCOMPARE(dialogs_->boxes[0].caption, QStringLiteral("ERROR"));
        QCOMPARE(dialogs_->boxes[0].icon, QMessageBox::Critical);
        QVERIFY(!form_->state().image_shown);
        QVERIFY(all_black(picture()));
        QCOMPARE(form_->edFname->text(), hsv);
        QCOMPARE(cell(2, 5), QStringLiteral("HSV "));

        // So does a file whose image cannot be decoded.
        dialogs_->open_answers.push_back(samples + QStringLiteral("/CT_small.dcm"));
        form_->Open1Click();
        QVERIFY(!all_black(picture()));
        const QString failing = samples + QStringLiteral("/JPEG2000-embedded-sequence-delimiter.dcm");
        dialogs_->open_answers.push_back(failing);
        form_->Open1Click();
        QCOMPARE(dialogs_->boxes.back().text,
                 QStringLiteral("DICOM Image Load Failed.!\nThe frame's codestream holds 3722445056 x 1024 x 1 "
                                "samples, the data set 256 x 1024 x 1"));
        QVERIFY(all_black(picture()));
        QCOMPARE(form_->edFname->text(), failing);
    }

    void dragReachesTheWholeRangeOfAWideImage()
    {
        const QString wide = path("wide.dcm");
        write_all(wide, unsigned16_part10("MONOCHROME2", 2, 2, {0, 20000, 40000, 60000}));
        dialogs_->open_answers.push_back(wide);
        form_->Open1Click();
        QVERIFY(form_->state().image_shown);
        press(Qt::LeftButton, 100, 100);
        move(9000, -9000);
        release(Qt::LeftButton, 9000, -9000);
        QCOMPARE(form_->state().window_level, 60000);
        QCOMPARE(form_->state().window_width, 60000);
        QCOMPARE(picture(), expected_picture(wide, form_->state()));
    }

    void framesStepWithTheKeysAndTheWheel()
    {
        const QString dose = samples + QStringLiteral("/rtdose.dcm");
        dialogs_->open_answers.push_back(dose);
        form_->Open1Click();
        QVERIFY(dialogs_->boxes.empty());
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - rtdose.dcm - 1 / 15"));
        // A click gives the picture the keyboard focus.
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        form_->Memo->setFocus();
        press(Qt::LeftButton, 10, 10);
        release(Qt::LeftButton, 10, 10);
        QVERIFY(form_->Image->hasFocus());
        const ViewerState opened = form_->state();
        QCOMPARE(picture(), expected_picture(dose, opened, 0));

        QTest::keyClick(form_->Image, Qt::Key_PageDown);
        QCOMPARE(form_->shown_frame(), 1);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - rtdose.dcm - 2 / 15"));
        QCOMPARE(picture(), expected_picture(dose, opened, 1));
        QTest::keyClick(form_->Image, Qt::Key_End);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - rtdose.dcm - 15 / 15"));
        QTest::keyClick(form_->Image, Qt::Key_PageDown);
        QCOMPARE(form_->shown_frame(), 14); // stops at the last frame
        QCOMPARE(picture(), expected_picture(dose, opened, 14));
        wheel(120);
        QCOMPARE(form_->shown_frame(), 13);
        wheel(-120);
        QCOMPARE(form_->shown_frame(), 14);

        // A drag's window survives the steps.
        press(Qt::LeftButton, 100, 100);
        move(110, 90);
        release(Qt::LeftButton, 110, 90);
        const ViewerState dragged = form_->state();
        QTest::keyClick(form_->Image, Qt::Key_Home);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - rtdose.dcm - 1 / 15"));
        QCOMPARE(form_->state().window_level, dragged.window_level);
        QCOMPARE(form_->state().window_width, dragged.window_width);
        QCOMPARE(picture(), expected_picture(dose, dragged, 0));
        QTest::keyClick(form_->Image, Qt::Key_PageUp);
        wheel(120);
        QCOMPARE(form_->shown_frame(), 0); // stops at the first frame

        // A single-frame file: no steps, the file's name alone.
        dialogs_->open_answers.push_back(samples + QStringLiteral("/CT_small.dcm"));
        form_->Open1Click();
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - CT_small.dcm"));
        const QImage single = picture();
        QTest::keyClick(form_->Image, Qt::Key_PageDown);
        wheel(-120);
        QCOMPARE(form_->shown_frame(), 0);
        QCOMPARE(picture(), single);
        QVERIFY(dialogs_->boxes.empty());
    }

    void imageStepFailuresSayWhy()
    {
        // Each failure of the image step: the ERROR box with the reason on its
        // second line and a black picture, on Open or, after `then` changed
        // the file shown, on the step to the last frame.
        const QByteArray dose = read_all(samples + QStringLiteral("/rtdose.dcm"));
        const QByteArray dose_rle = read_all(samples + QStringLiteral("/rtdose_rle.dcm"));
        qsizetype rle_end = dose_rle.lastIndexOf(QByteArray("\xe0\x7f\x10\x00", 4)) + 12;
        for (int item = 0; item < 8; ++item) { // the offset table and seven frames
            uint32_t length = 0;
            std::memcpy(&length, dose_rle.constData() + rle_end + 4, 4);
            rle_end += 8 + length;
        }
        QByteArray jpeg_ls = read_all(samples + QStringLiteral("/MR_small_jpeg_ls_lossless.dcm"));
        for (qsizetype i = jpeg_ls.lastIndexOf(QByteArray("\xe0\x7f\x10\x00", 4)) + 200; i < jpeg_ls.size() - 100;
             ++i) {
            jpeg_ls[i] = i % 3 == 0 ? char(0xFF) : char(jpeg_ls[i] ^ 0x5A);
        }
        QByteArray one_bit = qbytes(samples_head("MONOCHROME2", 3, 3, "1.2.840.10008.1.2.1", 1)
                                        .element(0x7FE0, 0x0010, "OW", std::string(18, '\0')));
        QByteArray part2 = qbytes(
            samples_head("MONOCHROME2", 2, 2, "1.2.840.10008.1.2.4.92").encapsulated({std::string(4, '\0')}));
        const QString cut =
            QStringLiteral("Frame 15 lies past the end of the file: the pixel data ends in frame 7.");
        struct Case {
            const char* name;
            QByteArray bytes;
            std::function<void(const QString&)> then; // null: the failure is on Open
            QString reason;
        };
        const std::vector<Case> cases = {
            {"rewritten.dcm", dose,
             [](const QString& p) { write_all(p, read_all(samples + QStringLiteral("/rtdose_1frame.dcm"))); },
             QStringLiteral("The pixel data runs past the end of the file.")},
            {"cut.dcm", dose.left(dose.size() - 8 * 400), [](const QString&) {}, cut},
            {"cut_rle.dcm", dose_rle.left(rle_end), [](const QString&) {}, cut},
            {"part2.dcm", part2, nullptr,
             QStringLiteral(
                 "Unsupported transfer syntax 1.2.840.10008.1.2.4.92 (JPEG 2000 Part 2 Multi-component Image "
                 "Compression (Lossless Only)).")},
            {"broken.dcm", jpeg_ls, nullptr, QStringLiteral("The JPEG-LS codestream of frame 1 is broken.")},
            {"one_bit.dcm", one_bit, nullptr,
             QStringLiteral("Frames of this image do not start on a byte boundary")},
            {"unknown.dcm", unsigned16_part10("XYZ", 2, 2, {1, 2, 3, 4}), nullptr,
             QStringLiteral("Photometric interpretation XYZ is not shown.")},
        };
        // An Open reads the file once: frames of a file removed since still
        // step, from the file as it was opened.
        const QString removed = path("removed.dcm");
        write_all(removed, dose);
        dialogs_->open_answers.push_back(removed);
        form_->Open1Click();
        QFile::remove(removed);
        QTest::keyClick(form_->Image, Qt::Key_End);
        QVERIFY(dialogs_->boxes.empty());
        QCOMPARE(form_->shown_frame(), form_->frame_count() - 1);
        QVERIFY(form_->state().image_shown);

        for (const Case& c : cases) {
            dialogs_->boxes.clear();
            const QString file = path(c.name);
            write_all(file, c.bytes);
            dialogs_->open_answers.push_back(file);
            form_->Open1Click();
            if (c.then) {
                QVERIFY2(dialogs_->boxes.empty(), c.name);
                QVERIFY(!all_black(picture()));
                c.then(file);
                QTest::keyClick(form_->Image, Qt::Key_End);
            }
            QVERIFY2(dialogs_->boxes.size() == 1, c.name);
            QCOMPARE(dialogs_->boxes[0].text, QStringLiteral("DICOM Image Load Failed.!\n") + c.reason);
            QCOMPARE(dialogs_->boxes[0].caption, QStringLiteral("ERROR"));
            QVERIFY(!form_->state().image_shown);
            QVERIFY(all_black(picture()));
            QFile::remove(file);
        }
    }

    void draggingWindowsThePicture()
    {
        const QString good = path("drag.dcm");
        write_all(good, small_part10());
        dialogs_->open_answers.push_back(good);
        form_->Open1Click();
        QVERIFY(form_->state().image_shown);
        const QImage before = picture();

        press(Qt::LeftButton, 100, 100);
        QVERIFY(form_->state().dragging);
        QVERIFY(form_->pnWind->isVisible() || !form_->pnWind->isHidden());
        QCOMPARE(form_->pnWind->text(), QStringLiteral("WL=  40, WW= 400"));
        move(150, 80);
        QCOMPARE(form_->pnWind->text(), QStringLiteral("WL=  60, WW= 450"));
        QCOMPARE(picture(), before); // no redraw while the mouse moves
        QCOMPARE(form_->state().window_level, 40);
        release(Qt::LeftButton, 150, 80);
        QVERIFY(form_->pnWind->isHidden());
        QVERIFY(!form_->state().dragging);
        QCOMPARE(form_->state().window_level, 60);
        QCOMPARE(form_->state().window_width, 450);
        QCOMPARE(picture(), expected_picture(good, form_->state()));

        // Far left and up: the clamps.
        press(Qt::LeftButton, 100, 100);
        move(-9000, -9000);
        QCOMPARE(form_->pnWind->text(), QStringLiteral("WL=3064, WW=   2"));
        release(Qt::LeftButton, -9000, -9000);
        QCOMPARE(form_->state().window_width, 2);
        QCOMPARE(form_->state().window_level, 3064);
    }

    void otherButtonsAndStrayReleasesDoNothing()
    {
        press(Qt::LeftButton, 10, 10); // before any picture
        QVERIFY(!form_->state().dragging);
        QVERIFY(form_->pnWind->isHidden());

        dialogs_->open_answers.push_back(samples + QStringLiteral("/CT_small.dcm"));
        form_->Open1Click();
        const ViewerState before = form_->state();
        press(Qt::RightButton, 10, 10);
        move(200, 200);
        release(Qt::RightButton, 200, 200);
        QVERIFY(form_->pnWind->isHidden());
        QCOMPARE(form_->state().window_level, before.window_level);
        QCOMPARE(form_->state().window_width, before.window_width);
    }

    void rowsAreAsHighAsTheFontNeeds()
    {
        // Two files whose value cells differ in one character, "A_g" and
        // "A g": the ink that differs inside the cell is the underscore's.
        const QString under = path("under.dcm");
        const QString space = path("space.dcm");
        write_all(under, text_part10("A_g "));
        write_all(space, text_part10("A g "));
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const auto cell_ink = [&](const QString& file) {
            dialogs_->open_answers.push_back(file);
            form_->Open1Click();
            const QModelIndex index = form_->strGrid->model()->index(2, 5);
            // The cell without its grid lines.
            const QRect rect = form_->strGrid->visualRect(index);
            return ink(form_->strGrid->viewport()->grab(rect).toImage());
        };
        for (const int pixels : {11, 14, 17, 23, 31}) {
            QFont font = form_->strGrid->font();
            font.setPixelSize(pixels);
            form_->strGrid->setFont(font);
            const QFontMetrics metrics(font);
            QVERIFY(form_->strGrid->rowHeight(0) > metrics.lineSpacing());
            QVERIFY(form_->strGrid->horizontalHeader()->height() >
                    QFontMetrics(form_->strGrid->horizontalHeader()->font()).lineSpacing());
            // The underscore as the font draws it with room to spare.
            QImage a(200, metrics.lineSpacing() * 3, QImage::Format_RGB32);
            QImage b = a;
            for (auto [image, text] : {std::pair{&a, "A_g"}, std::pair{&b, "A g"}}) {
                image->fill(Qt::white);
                QPainter painter(image);
                painter.setFont(font);
                painter.setPen(Qt::black);
                painter.drawText(4, metrics.lineSpacing() + metrics.ascent(), QString::fromLatin1(text));
            }
            const long underscore = ink(a) - ink(b);
            QVERIFY(underscore > 0);
            const long shown = cell_ink(under) - cell_ink(space);
            QVERIFY2(
                shown * 10 >= underscore * 9,
                qPrintable(
                    QStringLiteral("underscore ink %1 of %2 at %3 px").arg(shown).arg(underscore).arg(pixels)));
        }
    }

    void dumpIsAnEditableViewOverTheFile()
    {
        const QString ct = samples + QStringLiteral("/CT_small.dcm");
        dialogs_->open_answers.push_back(ct);
        form_->Open1Click();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        DumpView* memo = form_->Memo;
        const std::vector<std::string> dump = memo->text().all_lines();
        QCOMPARE(dump.size(), std::size_t{2 + 393 + 1});
        QVERIFY(dump[10].rfind("00000080 44 49 43 4D ", 0) == 0);

        // Both scroll bars in sight inside Panel4, and the offset and the 16
        // bytes in hex within the viewport at the starting size.
        QVERIFY(form_->Panel4->rect().contains(memo->geometry()));
        QVERIFY(memo->verticalScrollBar()->isVisible());
        QVERIFY(memo->horizontalScrollBar()->isVisible());
        QVERIFY(memo->horizontalScrollBar()->maximum() > 0);
        const QString hex_part = QString::fromStdString(dump[10].substr(0, 9 + 16 * 3 - 1));
        QVERIFY(memo->fontMetrics().horizontalAdvance(hex_part) + 2 <= memo->viewport()->width());

        // Typing at the line clicked, Enter, Backspace: the text follows and
        // the edit is all the view keeps.
        memo->verticalScrollBar()->setValue(100);
        QCOMPARE(memo->first_visible_line(), 100);
        QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(memo->caret_line(), 100);
        QTest::keyClicks(memo, QStringLiteral("Note"));
        QTest::keyClick(memo, Qt::Key_Return);
        QCOMPARE(memo->text().line_count(), dump.size() + 1);
        QCOMPARE(memo->text().line(100), std::string("Note"));
        QCOMPARE(memo->text().line(101), dump[100]);
        QTest::keyClick(memo, Qt::Key_Backspace);
        QTest::keyClick(memo, Qt::Key_End);
        QTest::keyClick(memo, Qt::Key_Delete); // joins the next line
        QCOMPARE(memo->text().line_count(), dump.size() - 1);
        QCOMPARE(memo->text().line(100), "Note" + dump[100] + dump[101]);
        QCOMPARE(memo->text().edited_line_count(), std::size_t{1});

        // A selection across lines, copied and then typed over.
        QTest::keyClick(memo, Qt::Key_Home);
        QTest::keyClick(memo, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(memo, Qt::Key_Right, Qt::ShiftModifier);
        const std::string joined = "Note" + dump[100] + dump[101];
        QCOMPARE(memo->selected_text(), QString::fromStdString(joined + "\n" + dump[102].substr(0, 1)));
        QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), memo->selected_text());
        QTest::keyClicks(memo, QStringLiteral("X"));
        QCOMPARE(memo->text().line(100), "X" + dump[102].substr(1));
        QCOMPARE(memo->text().line_count(), dump.size() - 2);
        QCOMPARE(memo->text().edited_line_count(), std::size_t{1});

        // The report holds exactly the lines shown.
        const QString out = path("edited.txt");
        dialogs_->save_answers.push_back(out);
        form_->sbSaveClick();
        const QList<QByteArray> written = read_all(out).split('\n');
        const std::vector<std::string> shown = memo->text().all_lines();
        QVERIFY(written.size() > qsizetype(shown.size()));
        for (std::size_t i = 0; i < shown.size(); ++i) {
            QCOMPARE(written[qsizetype(i)], QByteArray::fromStdString(shown[i] + "\r"));
        }
        QCOMPARE(written[qsizetype(shown.size())], QByteArray("\r"));

        // Opening again shows the file unedited, from the top.
        memo->verticalScrollBar()->setValue(300);
        dialogs_->open_answers.push_back(ct);
        form_->Open1Click();
        QCOMPARE(memo->first_visible_line(), 0);
        QCOMPARE(memo->text().all_lines(), dump);
    }

    void bigHeadersOpenWithinTheirMemory()
    {
        // A header holding a 50 MB value: the dump reads its lines from the
        // file when shown, and the table holds one row per element.
        const QString big = path("big_value.dcm");
        write_big_value_file(big);
        const long before = resident_kib();
        dialogs_->open_answers.push_back(big);
        form_->Open1Click();
        QCoreApplication::processEvents();
        const long grown = resident_kib() - before;
        QVERIFY2(dialogs_->boxes.empty(),
                 qPrintable(dialogs_->boxes.empty() ? QString() : dialogs_->boxes[0].text));
        const int64_t header = form_->state().header_size;
        QVERIFY(header > 50000000);
        QCOMPARE(form_->Memo->text().line_count(), std::size_t(2 + header / 16 + 1));
        QCOMPARE(form_->strGrid->model()->rowCount(), 99);
        QCOMPARE(form_->state().next_row, 13);
        if (!sanitized_build) {
            QVERIFY2(grown < 64 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown)));
        }
        QFile::remove(big);

        // 240,000 element rows and no Pixel Data.
        const QString many = path("many.dcm");
        write_all(many, many_element_file());
        const long before_many = resident_kib();
        dialogs_->open_answers.push_back(many);
        form_->Open1Click();
        QCoreApplication::processEvents();
        const long grown_many = resident_kib() - before_many;
        QVERIFY(dialogs_->boxes.empty());
        QVERIFY(form_->state().next_row > 240000);
        QCOMPARE(form_->strGrid->model()->rowCount(), form_->state().next_row - 1);
        QCOMPARE(cell(form_->state().next_row - 2, 0), QStringLiteral("FFFE"));
        QCOMPARE(form_->Memo->text().line_count(), std::size_t(2 + QFileInfo(many).size() / 16 + 1));
        if (!sanitized_build) {
            QVERIFY2(grown_many < 100 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown_many)));
            QVERIFY2(resident_kib() < 150 * 1024, qPrintable(QStringLiteral("holds %1 KiB").arg(resident_kib())));
        }
    }

    void filesWithoutPixelDataOpenWithoutABox()
    {
        for (const char* name : {"rtplan.dcm", "test-SR.dcm"}) {
            const QString file = samples + QLatin1Char('/') + QLatin1String(name);
            dialogs_->open_answers.push_back(file);
            form_->Open1Click();
            QVERIFY2(dialogs_->boxes.empty(),
                     qPrintable(dialogs_->boxes.empty() ? QString() : dialogs_->boxes[0].text));
            QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - ") + QLatin1String(name));
            QCOMPARE(form_->edHsize->text(), QString());
            QVERIFY(!form_->state().image_shown);
            // The pane reads "No image in this file": white on black.
            int white = 0;
            const QImage shown = picture();
            for (int y = 0; y < shown.height(); ++y) {
                for (int x = 0; x < shown.width(); ++x) {
                    white += qGray(shown.pixel(x, y)) > 128 ? 1 : 0;
                }
            }
            QVERIFY(white > 50);
            QVERIFY(qGray(shown.pixel(2, 2)) == 0);
            // The dump is the whole file.
            const QByteArray bytes = read_all(file);
            const std::vector<std::string> dump = form_->Memo->text().all_lines();
            QCOMPARE(dump.size(), std::size_t(2 + bytes.size() / 16 + 1));
            QCOMPARE(dump.back().substr(0, 8), QString::number(bytes.size() / 16 * 16, 16)
                                                   .rightJustified(8, QLatin1Char('0'))
                                                   .toUpper()
                                                   .toStdString());
        }
    }

    void openGivesThePictureTheFocusAndStartsAtTheTop()
    {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        dialogs_->open_answers.push_back(samples + QStringLiteral("/CT_small.dcm"));
        form_->Open1Click();
        form_->strGrid->scrollToBottom();
        form_->strGrid->horizontalScrollBar()->setValue(form_->strGrid->horizontalScrollBar()->maximum());
        QVERIFY(form_->strGrid->verticalScrollBar()->value() > 0);
        form_->Memo->setFocus();
        dialogs_->open_answers.push_back(samples + QStringLiteral("/rtdose.dcm"));
        form_->Open1Click();
        QVERIFY(form_->Image->hasFocus());
        QCOMPARE(form_->strGrid->verticalScrollBar()->value(), 0);
        QCOMPARE(form_->strGrid->horizontalScrollBar()->value(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        QCOMPARE(form_->shown_frame(), 1);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - rtdose.dcm - 2 / 15"));
    }

private:
    std::unique_ptr<ScriptedDialogs> owned_;

    QImage picture() const { return form_->Image->pixmap().toImage(); }
    QString cell(int row, int column) const
    {
        return form_->strGrid->model()->index(row, column).data().toString();
    }

    // The picture the window should show: the same pipeline without the window.
    static QImage expected_picture(const QString& file, const ViewerState& state, int frame = 0)
    {
        auto shown = std::make_unique<DisplayPicture>();
        FrameInfo info;
        if (load_display_image(QFile::encodeName(file).constData(), frame, *shown, info) !=
            ImageStepResult::Shown) {
            return {};
        }
        DisplayBitmap bitmap;
        render_display_pixels(*shown, {state.window_level, state.window_width}, bitmap);
        const std::vector<uint8_t>& rows = bitmap.rows;
        const bool colour = bitmap.bytes_per_pixel == 3;
        QImage image(display_size, display_size, colour ? QImage::Format_RGB888 : QImage::Format_Indexed8);
        if (!colour) {
            QList<QRgb> grays;
            for (int i = 0; i < 256; ++i) {
                grays.append(qRgb(i, i, i));
            }
            image.setColorTable(grays);
        }
        for (int r = 0; r < display_size; ++r) {
            std::memcpy(image.scanLine(r), &rows[static_cast<std::size_t>(r) * bitmap.row_bytes()],
                        bitmap.row_bytes());
        }
        return QPixmap::fromImage(image).toImage();
    }

    static bool all_black(const QImage& image)
    {
        if (image.size() != QSize(display_size, display_size)) {
            return false;
        }
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if ((image.pixel(x, y) & 0xFFFFFF) != 0) {
                    return false;
                }
            }
        }
        return true;
    }

    void wheel(int delta)
    {
        const QPointF local(128, 128);
        QWheelEvent event(local, form_->Image->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(form_->Image, &event);
    }

    void mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y)
    {
        const QPointF local(x, y);
        QMouseEvent event(type, local, form_->Image->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(form_->Image, &event);
    }
    void press(Qt::MouseButton button, int x, int y) { mouse(QEvent::MouseButtonPress, button, button, x, y); }
    void move(int x, int y) { mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, x, y); }
    void release(Qt::MouseButton button, int x, int y) { mouse(QEvent::MouseButtonRelease, button, {}, x, y); }
};

QTEST_MAIN(TForm1Test)
#include "tform1_test.moc"
