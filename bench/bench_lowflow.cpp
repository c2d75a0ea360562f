// The low-flow run's file and its worker's stop, against the simulator's low-flow sonde
// on a pseudo-terminal (registered as a COM port in a program home of the benchmark's own).
//
// 1. Save and reload: the run's image is filled up to the given number of readings (the
//    first taken from the sonde, the others copies of it), then the run is saved as a .flo
//    file, read back with its test data into the companion file, and the companion is
//    opened by the sondes' test data reader. Each figure is the best of five, wall clock.
// 2. Stop: logging at 2 s, the time from StopLogging to the worker's STATE 0 while the
//    worker waits between readings, over ten stops (goal: under 300 ms plus one exchange).
//
// Usage: bench_lowflow [readings, default 20000]

#include "datafiles/TestFileReaderF.h"
#include "lowflow/LFData.h"
#include "lowflow/ProfileNotify.h"
#include "lowflow/ProfilerSession.h"
#include "platform/PortMap.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "values/UnitCatalog.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Counts the worker's messages and wakes a waiter.
class Counter : public CProfileNotifyTarget {
public:
    void PostProfileState(uintptr_t wparam, intptr_t) override { Add(wparam == 0 ? ended_ : started_); }
    void PostProfileStatus(uintptr_t wparam, intptr_t) override
    {
        if (wparam == 1) {
            Add(readings_);
        }
    }
    // Waits until counter reaches n (at most a minute).
    bool Wait(const int& counter, int n)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(1), [&] { return counter >= n; });
    }
    int started_ = 0;
    int ended_ = 0;
    int readings_ = 0;

private:
    void Add(int& counter)
    {
        {
            std::lock_guard lock(mutex_);
            ++counter;
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
};

} // namespace

int main(int argc, char** argv)
{
    const long readings = argc > 1 ? std::max(1L, std::atol(argv[1])) : 20000;
    std::string pattern = (fs::temp_directory_path() / "wv-bench-lowflow-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const fs::path dir = pattern;
    fs::create_directories(dir / "home");
    ::setenv("WELLVOX_HOME", (dir / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);

    wv::sim::InstrumentSim sim;
    sim.AddDevice(777, 33, "Low-flow sonde", 9600);
    sim.WithDevice(777, [](wv::sim::SimDevice& d) { wv::sim::SetUpLowFlowSonde(d); });
    if (!sim.Start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.LastError().c_str());
        return 1;
    }
    const std::string port = "COMM " + std::to_string(wv::AddComPort(sim.SlavePath()));

    CUnitCatalog catalog("1");
    Counter counter;
    CLFData run;
    run.InitForDevice(catalog);
    run.SetNotifyTarget(&counter);
    if (run.Connect(port, "9600") == 0) {
        std::fprintf(stderr, "no sonde on %s\n", port.c_str());
        return 1;
    }

    // ---- Stop ----
    run.SetValue("Sampling_Rate", 2.0);
    std::vector<double> stops;
    for (int round = 1; round <= 10; ++round) {
        run.StartLogging();
        counter.Wait(counter.readings_, counter.readings_ + 1);
        const auto asked = Clock::now();
        run.StopLogging();
        counter.Wait(counter.ended_, round);
        stops.push_back(Ms(Clock::now() - asked));
        run.GetSession()->JoinThread();
    }
    std::sort(stops.begin(), stops.end());
    std::printf("stop: median %.1f ms, worst %.1f ms over %zu stops (goal under 300 ms plus one exchange)\n",
                stops[stops.size() / 2], stops.back(), stops.size());

    // ---- Save and reload ----
    CDeviceImage& image = run.GetSession()->GetImage();
    std::vector<uint8_t> record(image.GetDataRecordSize());
    if (image.ReadingCount() == 0 || !image.EncodeReading(record, 0)) {
        std::fprintf(stderr, "no reading to copy\n");
        return 1;
    }
    while (static_cast<long>(image.ReadingCount()) < readings) {
        image.AddReading(record);
    }
    const fs::path flo = dir / "run.flo";
    const fs::path companion = dir / "run.flo.bin";
    double save = 1e9;
    double reload = 1e9;
    double open = 1e9;
    uint32_t samples = 0;
    for (int i = 0; i < 5; ++i) {
        auto t0 = Clock::now();
        run.SaveFile(flo.string());
        auto t1 = Clock::now();
        CLFData again;
        again.InitForDevice(catalog);
        again.LoadFileWithData(flo.string(), companion.string());
        auto t2 = Clock::now();
        CTestFileReaderF reader(catalog, "4.0.0.0", nullptr);
        reader.Open(companion.string());
        samples = reader.GetSampleCount();
        auto t3 = Clock::now();
        save = std::min(save, Ms(t1 - t0));
        reload = std::min(reload, Ms(t2 - t1));
        open = std::min(open, Ms(t3 - t2));
    }
    std::printf("%zu readings, %.1f MiB: save %.1f ms, reload with data %.1f ms, reader open %.1f ms "
                "(%u samples); save and reload %.1f ms (goal under 1000 ms)\n",
                image.ReadingCount(), static_cast<double>(fs::file_size(flo)) / (1 << 20), save, reload, open,
                samples, save + reload);
    run.Reset();
    fs::remove_all(dir);
    return 0;
}
