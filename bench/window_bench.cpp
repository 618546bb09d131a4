// Open in the window itself, offscreen, on the two big-header files of
// make_big_header_files.py (a 50 MB text value in the header, and 240,000
// element rows) and on the RT Structure Set of make_structure_set.py
// (240,000 elements nested in sequences), and find over the latter. Each run
// makes a fresh window, opens the file and lets the window paint once; the
// counters give the process's resident memory after the open and its peak so
// far (VmRSS, VmHWM).
//
// The data directory is $VELMOR_BENCH_DATA, else <build>/bench-data.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "base/log.h"
#include "viewer/tform1.h"

namespace {

std::string data_dir;

// Answers every box without showing it, and counts them.
class QuietDialogs : public Dialogs {
public:
    int boxes = 0;
    int message(QWidget*, const QString&, const QString&, QMessageBox::Icon, QMessageBox::StandardButtons) override
    {
        ++boxes;
        return QMessageBox::Ok;
    }
};

double status_kib(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toDouble();
        }
    }
    return 0;
}

void OpenWindow(benchmark::State& state, const char* name)
{
    const QString path = QString::fromStdString(data_dir + "/" + name);
    QuietDialogs dialogs;
    for (auto _ : state) {
        auto form = std::make_unique<TForm1>(&dialogs);
        form->show();
        form->open_file(path);
        QCoreApplication::processEvents();
        state.PauseTiming();
        state.counters["rss_mib"] = status_kib("VmRSS:") / 1024;
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    if (dialogs.boxes != 0) {
        state.SkipWithError("the open showed a box");
    }
    state.counters["peak_rss_mib"] = status_kib("VmHWM:") / 1024;
    state.counters["file_mib"] = static_cast<double>(QFile(path).size()) / (1024 * 1024);
}
BENCHMARK_CAPTURE(OpenWindow, big_ut_value, "big_ut_value.dcm")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(OpenWindow, many_elements, "many_elements.dcm")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(OpenWindow, rt_structure_set, "rtstruct_240k.dcm")->Unit(benchmark::kMillisecond)->Iterations(3);

// Find typed into the window's field over the RT Structure Set, the table
// shown again with the matches and the rows above them. Each run opens the
// file anew and opens the find field (which builds the find index) untimed.
void FindInWindow(benchmark::State& state, const char* query)
{
    const QString path = QString::fromStdString(data_dir + "/rtstruct_240k.dcm");
    QuietDialogs dialogs;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TForm1>(&dialogs);
        form->show();
        form->open_file(path);
        form->Find1->trigger();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        form->edFind->setText(QString::fromLatin1(query));
        QCoreApplication::processEvents();
        state.PauseTiming();
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(FindInWindow, tag, "(3006,0050)")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(FindInWindow, keyword, "ContourGeometricType")->Unit(benchmark::kMillisecond)->Iterations(3);

bool prepare_data()
{
    const char* from_env = std::getenv("VELMOR_BENCH_DATA");
    data_dir = from_env != nullptr && *from_env != '\0' ? from_env : VELMOR_BENCH_DEFAULT_DATA;
    for (const char* maker : {"make_big_header_files.py", "make_structure_set.py"}) {
        const std::string command =
            "/usr/bin/python3 '" VELMOR_BENCH_SOURCE_DIR "/" + std::string(maker) + "' '" + data_dir + "'";
        if (std::system(command.c_str()) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    log_level = LogLevel::error;
    if (!prepare_data()) {
        std::fprintf(stderr, "window_bench: the benchmark data could not be made\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
