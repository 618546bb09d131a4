// A folder opened as a set in the offscreen window: the time from Open
// folder to the first picture (the scan still running), and steps to the
// next image of the largest series injected back to back, each timed until
// its picture is shown; the counters give the 50th and 95th percentile and
// the worst step.
//
// The folder is $VELMOR_SCAN_DATA (see scan_bench.sh, which writes one of
// 20 series of 250 512 x 512 CT images).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/log.h"
#include "viewer/tform1.h"

namespace {

QString folder;

class QuietDialogs : public Dialogs {
public:
    int message(QWidget*, const QString&, const QString&, QMessageBox::Icon, QMessageBox::StandardButtons) override
    {
        return QMessageBox::Ok;
    }
};

void OpenFolderToFirstPicture(benchmark::State& state)
{
    QuietDialogs dialogs;
    for (auto _ : state) {
        auto form = std::make_unique<TForm1>(&dialogs);
        form->show();
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        form->open_set({folder});
        while (!form->state().image_shown && clock.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.counters["scan_done"] = form->scan_finished() ? 1 : 0;
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}

void StepToNextImage(benchmark::State& state)
{
    QuietDialogs dialogs;
    TForm1 form(&dialogs);
    form.show();
    form.open_set({folder});
    while (!form.scan_finished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCoreApplication::processEvents();
    // The largest series, from its first image.
    SeriesKey largest;
    std::size_t most = 0;
    for (const Patient& p : form.set_browser().patients()) {
        for (const Study& st : p.studies) {
            for (const Series& s : st.series) {
                if (s.images.size() > most) {
                    most = s.images.size();
                    largest = series_key(p, st, s);
                }
            }
        }
    }
    std::vector<double> steps_ms;
    for (auto _ : state) {
        form.show_series(largest);
        QCoreApplication::processEvents();
        for (std::size_t n = 1; n < most; ++n) {
            QElapsedTimer clock;
            clock.start();
            form.ImageKeyPress(Qt::Key_PageDown);
            QCoreApplication::processEvents();
            steps_ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
    }
    std::sort(steps_ms.begin(), steps_ms.end());
    const auto at = [&](double q) {
        return steps_ms[static_cast<std::size_t>(q * static_cast<double>(steps_ms.size() - 1))];
    };
    state.counters["p50_ms"] = at(0.5);
    state.counters["p95_ms"] = at(0.95);
    state.counters["max_ms"] = steps_ms.back();
    state.counters["steps"] = static_cast<double>(steps_ms.size());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const char* given = std::getenv("VELMOR_SCAN_DATA");
    if (given == nullptr) {
        std::fprintf(stderr, "set_bench: VELMOR_SCAN_DATA names no folder (see bench/scan_bench.sh)\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(given);
    log_level = LogLevel::silent;
    benchmark::RegisterBenchmark("OpenFolderToFirstPicture", OpenFolderToFirstPicture)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("StepToNextImage", StepToNextImage)->Unit(benchmark::kMillisecond)->Iterations(2);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
