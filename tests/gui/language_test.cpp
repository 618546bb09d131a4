// The window in the user's language: Japanese, as written, for a Japanese
// locale; English through the built-in translation for any other. The saved
// report is the same in either.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include <utility>

#include "viewer/about.h"
#include "viewer/language.h"
#include "viewer/tform1.h"

namespace {

const QString samples = QStringLiteral(VELMOR_PYDICOM_FILES);

// Answers every dialog at once and keeps the boxes shown.
class ScriptedDialogs : public Dialogs {
public:
    QString save_path;
    ReportEncoding save_type = ReportEncoding::cp932;
    QStringList boxes; // caption, then text

    QString openFile(QWidget*) override { return {}; }
    QString saveFile(QWidget*) override { return save_path; }
    ReportEncoding savedFileType() const override { return save_type; }
    int message(QWidget*, const QString& text, const QString& caption, QMessageBox::Icon,
                QMessageBox::StandardButtons) override
    {
        boxes << caption << text;
        return QMessageBox::Ok;
    }
};

// The captions a user first reads: menus, their items, buttons, table headers.
QStringList captions(const TForm1& form)
{
    QStringList texts{form.File1->title(), form.Open1->text(),   form.OpenFolder1->text(),
                      form.mSave->text(),  form.Exit1->text(),   form.Help1->title(),
                      form.About1->text(), form.sbClose->text(), form.sbCancelScan->text()};
    for (int column = 0; column < form.strGrid->model()->columnCount(); ++column) {
        texts << form.strGrid->model()->headerData(column, Qt::Horizontal).toString();
    }
    return texts;
}

// The report of `file` saved through the window, in `encoding`.
QByteArray saved_report(const QString& file, ReportEncoding encoding, const QString& out)
{
    ScriptedDialogs dialogs;
    dialogs.save_path = out;
    dialogs.save_type = encoding;
    TForm1 form(&dialogs);
    form.open_file(file);
    form.sbSaveClick();
    QFile saved(out);
    return saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
}

// Installs the language of `locale` for one test; removes it after.
class WindowLanguage {
public:
    explicit WindowLanguage(const QLocale& locale)
        : translator_(install_window_language(*QCoreApplication::instance(), locale))
    {
    }
    ~WindowLanguage()
    {
        if (translator_ != nullptr) {
            QCoreApplication::removeTranslator(translator_);
            delete translator_;
        }
    }
    WindowLanguage(const WindowLanguage&) = delete;
    WindowLanguage& operator=(const WindowLanguage&) = delete;
    bool english() const { return translator_ != nullptr; }

private:
    QTranslator* translator_;
};

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void japaneseLocalesKeepTheWrittenTexts()
    {
        QVERIFY(reads_japanese(QLocale(QLocale::Japanese, QLocale::Japan)));
        for (const QLocale& other : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                     QLocale(QLocale::German, QLocale::Germany)}) {
            QVERIFY2(!reads_japanese(other), qPrintable(other.name()));
        }
        const WindowLanguage japanese(QLocale(QLocale::Japanese, QLocale::Japan));
        QVERIFY(!japanese.english());
        TForm1 form;
        QCOMPARE(captions(form),
                 (QStringList{"ファイル (&F)", "DICOMファイルを開く...", "フォルダを開く...",
                              "ヘッダ情報を保存...", "終了 (&X)", "ヘルプ (&H)", "バージョン情報 (&A)...", "終了",
                              "キャンセル", "Grp ID", "Elm ID", "VR", "Length", "説明", "データ", "キーワード"}));
        QCOMPARE(about_caption(), QStringLiteral("バージョン情報"));
    }

    void otherLocalesGetTheEnglishWindow()
    {
        const WindowLanguage english(QLocale::c());
        QVERIFY(english.english());
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        QCOMPARE(captions(form),
                 (QStringList{"&File", "&Open DICOM file...", "Open &folder...", "&Save header information...",
                              "E&xit", "&Help", "&About...", "Exit", "Cancel", "Grp ID", "Elm ID", "VR", "Length",
                              "Description", "Data", "Keyword"}));
        QCOMPARE(about_caption(), QStringLiteral("About Velmor"));

        // A box: its caption and its first line translated, the system's reason kept.
        form.open_file(samples + QStringLiteral("/no-such-file.dcm"));
        QCOMPARE(dialogs.boxes, (QStringList{"Error", "Cannot open the file.\nNo such file or directory"}));

        // The set's status line.
        form.open_set({samples + QStringLiteral("/dicomdirtests")});
        QTRY_VERIFY_WITH_TIMEOUT(form.scan_finished(), 20000);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ files in \\d+ series$"))
                     .match(form.lbScan->text())
                     .hasMatch(),
                 qPrintable(form.lbScan->text()));
    }

    void theReportIsTheSameInEitherLanguage()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ct = samples + QStringLiteral("/CT_small.dcm");
        for (const ReportEncoding encoding : {ReportEncoding::cp932, ReportEncoding::utf8}) {
            const QByteArray japanese = saved_report(ct, encoding, dir.filePath(QStringLiteral("ja.txt")));
            QVERIFY(japanese.contains("[ "));
            const WindowLanguage english(QLocale::c());
            QVERIFY(english.english());
            QCOMPARE(saved_report(ct, encoding, dir.filePath(QStringLiteral("en.txt"))), japanese);
        }
    }

    // The program takes the language from the environment as Qt reads it:
    // run again in a child with LANG set and nothing above it.
    void theSystemLocaleFollowsLang()
    {
        const QByteArray expected = qgetenv("VELMOR_EXPECT_JAPANESE");
        if (!expected.isEmpty()) {
            QCOMPARE(reads_japanese(QLocale::system()), expected == "yes");
            return;
        }
        for (const auto& [lang, japanese] :
             {std::pair{"C", "no"}, std::pair{"en_US.UTF-8", "no"}, std::pair{"ja_JP.UTF-8", "yes"}}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
                env.remove(QString::fromLatin1(name));
            }
            env.insert(QStringLiteral("LANG"), QString::fromLatin1(lang));
            env.insert(QStringLiteral("VELMOR_EXPECT_JAPANESE"), QString::fromLatin1(japanese));
            QProcess child;
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("theSystemLocaleFollowsLang")});
            QVERIFY(child.waitForFinished(60000));
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                     qPrintable(QString::fromLatin1(lang) + QLatin1Char('\n') +
                                QString::fromLocal8Bit(child.readAllStandardOutput())));
        }
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
