// Drawing a large sonde test data file in four plot windows.
//
// Writes the ten-channel sonde file of 1,000,000 samples (28 MB; bench/SondeBenchFile.h),
// opens it through its data-file node and measures, each the best of three runs in wall time:
//   - read: the four windows' reloads (each window loads the series it shows);
//   - map: the four windows' layouts (axis limits and pixel mapping);
//   - draw: the four windows painted into images;
//   - zoom: one window zoomed eight times, laid out and painted again;
// and the process's peak memory against the file size. Goals: the four windows opened and
// drawn under 1 s, the redraw after a zoom under 50 ms, peak memory under 3 times the file.
//
// Usage: bench_plot [samples, default 1000000]

#include "bench/SondeBenchFile.h"
#include "datafiles/TestFileReader.h"
#include "display/GraphOwner.h"
#include "display/GraphWnd.h"
#include "site/DataFile.h"
#include "site/DataFileSetup.h"
#include "values/UnitCatalog.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

class BenchOwner : public CGraphOwner {
public:
    explicit BenchOwner(CDataFile& file) : m_file(file) {}
    CDataFile* GetDataFile() override { return &m_file; }
    void SyncDisplayMode(CGraphWnd&, int, bool, bool) override {}
    void SyncZoom(CGraphWnd&, double, double, bool) override {}
    void SyncScrollPos(CGraphWnd&, double, bool) override {}
    void SyncHorzGrid(CGraphWnd&, bool, bool) override {}
    void SyncVertGrid(CGraphWnd&, bool, bool) override {}
    void SyncShowDataPoints(CGraphWnd&, bool, bool) override {}
    void SyncTimestampMode(CGraphWnd&, bool, bool) override {}
    void SetActiveGraph(CGraphWnd&) override {}
    void RedrawGraphs() override {}

private:
    CDataFile& m_file;
};

void Draw(CGraphWnd& graph)
{
    QImage image(graph.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    graph.render(&painter);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const uint32_t samples = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000u;
    const fs::path path = fs::temp_directory_path() / ("wv-bench-plot-" + std::to_string(::getpid()) + ".bin");
    WriteSondeBenchFile(path, samples);
    const double fileMegabytes = static_cast<double>(fs::file_size(path)) / (1024.0 * 1024.0);
    std::printf("file: %u samples, %.1f MB\n", samples, fileMegabytes);
    const double baseline = PeakMegabytes();

    CUnitCatalog units("1");
    DataFileReaderSetup setup;
    setup.units = &units;
    CDataFile file(path.string(), setup);
    if (file.OpenReader() != 0) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }
    double read = 1e9, map = 1e9, draw = 1e9, zoom = 1e9;
    for (int round = 0; round < 3; ++round) {
        // A new owner each round: its sample store starts empty, so every round reads the
        // file as a newly opened view does.
        BenchOwner owner(file);
        QWidget parent;
        parent.resize(1200, 960);
        std::array<CGraphWnd*, 4> graphs{};
        for (int i = 0; i < 4; ++i) {
            auto* placeholder = new QWidget(&parent);
            placeholder->setGeometry(0, i * 240, 1200, 240);
            graphs[static_cast<size_t>(i)] = new CGraphWnd(owner);
            graphs[static_cast<size_t>(i)]->Create(placeholder);
        }
        // All channels, pressure, temperature with pH second, conductivity.
        auto start = std::chrono::steady_clock::now();
        for (CGraphWnd* graph : graphs) {
            graph->Refresh();
        }
        const double refresh = Seconds(start);
        graphs[1]->SelectSeries(1, true);
        graphs[2]->SelectSeries(0, true);
        graphs[2]->SelectChannel(2, true);
        graphs[3]->SelectSeries(3, true);
        start = std::chrono::steady_clock::now();
        for (CGraphWnd* graph : graphs) {
            graph->Reload();
        }
        read = std::min(read, refresh + Seconds(start));
        start = std::chrono::steady_clock::now();
        for (CGraphWnd* graph : graphs) {
            graph->Recalc();
        }
        map = std::min(map, Seconds(start));
        start = std::chrono::steady_clock::now();
        for (CGraphWnd* graph : graphs) {
            Draw(*graph);
        }
        draw = std::min(draw, Seconds(start));
        start = std::chrono::steady_clock::now();
        graphs[0]->SetZoomState(8.0, 0.5);
        graphs[0]->Recalc();
        Draw(*graphs[0]);
        zoom = std::min(zoom, Seconds(start));
        if (round == 0) {
            std::printf("first refresh of the four windows (read, map) %.3f s\n", refresh);
        }
    }
    file.CloseReader();
    fs::remove(path);
    const double peak = PeakMegabytes() - baseline;
    std::printf("read %.3f s, map %.3f s, draw %.3f s: opened and drawn %.3f s (goal < 1)\n", read, map, draw,
                read + map + draw);
    std::printf("redraw after zoom %.1f ms (goal < 50)\n", zoom * 1000.0);
    std::printf("peak memory %.1f MB, %.1f times the file (goal < 3)\n", peak, peak / fileMegabytes);
    const bool met = read + map + draw < 1.0 && zoom < 0.05 && peak < 3.0 * fileMegabytes;
    std::printf("%s\n", met ? "goals met" : "GOALS NOT MET");
    return 0;
}
