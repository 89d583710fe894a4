// What a technician waits for once the card is read, on the largest image the card holds:
// the list, the spreadsheet, both PDF reports, the data and configuration files, the
// graph's series, the upload's messages and the recording's summary and verdict.
//
//   razurozavi-core-benchmarks --benchmark_repetitions=5 --benchmark_report_aggregates_only

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cloud/upload_messages.h"
#include "files/excel.h"
#include "files/file.h"
#include "logger/config_values.h"
#include "logger/graph_series.h"
#include "logger/reading_list.h"
#include "reports/pdf.h"
#include "reports/pdf_graph.h"
#include "reports/recording_summary.h"
#include "sensor/temp.h"
#include "simcard/refrigerator_recording.h"
#include "support/recording_window_layer.h"

namespace {

const MemoryImage& LargestImage() {
    static const MemoryImage image = [] {
        MemoryImage built = BuildDefaultRecording(MAX_IMAGE_READINGS, 60);
        SetImageFirmware(built, FirmwareVersion{{'1', '0', '3'}});
        return built;
    }();
    return image;
}

// A private folder for the files the benchmarks write.
const std::string& Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/razurozavi-bench-XXXXXX";
        return std::string(mkdtemp(pattern) != nullptr ? pattern : "/tmp");
    }();
    return folder;
}

void ListLines(benchmark::State& state) {
    RecordingWindowLayer windows;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadingListLines(LargestImage()));
    }
}
BENCHMARK(ListLines)->Unit(benchmark::kMillisecond);

void SpreadsheetText(benchmark::State& state) {
    RecordingWindowLayer windows;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExcelText(LargestImage(), TimeBase::Adjusted));
    }
}
BENCHMARK(SpreadsheetText)->Unit(benchmark::kMillisecond);

// A report as "Tabela (PDF)" or "Gráfico (PDF)" writes it once the file is chosen.
template <bool (*Report)(const std::string&, const MemoryImage&, TimeBase, std::string*)>
void PdfReport(benchmark::State& state) {
    const std::string path = Folder() + "/report.pdf";
    std::string reason;
    for (auto _ : state) {
        if (!Report(path, LargestImage(), TimeBase::Adjusted, &reason)) {
            state.SkipWithError("the report was not written");
            break;
        }
    }
}
BENCHMARK(PdfReport<WriteTableReportFile>)
    ->Name("TableReport80Pages")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PdfReport<WriteGraphReportFile>)->Name("GraphReport")->Unit(benchmark::kMillisecond);

void DataFileWrite(benchmark::State& state) {
    const std::string path = Folder() + "/largest.mvta";
    for (auto _ : state) {
        if (!WeatherStationExport(path, LargestImage())) {
            state.SkipWithError("the data file was not written");
            break;
        }
    }
}
BENCHMARK(DataFileWrite)->Unit(benchmark::kMillisecond);

void DataFileRead(benchmark::State& state) {
    const std::string path = Folder() + "/read.mvta";
    WeatherStationExport(path, LargestImage());
    MemoryImage image{};
    std::string reason;
    for (auto _ : state) {
        if (ReadDataFile(path, image, &reason) != FileLoad::Loaded) {
            state.SkipWithError("the data file was not read");
            break;
        }
    }
}
BENCHMARK(DataFileRead)->Unit(benchmark::kMillisecond);

void ConfigFileRoundTrip(benchmark::State& state) {
    const std::string path = Folder() + "/camara.mcfg";
    ConfigValues values = ConfigFromHeader(LargestImage().data());
    std::string reason;
    for (auto _ : state) {
        SaveConfigFile(path, values);
        ReadConfigFile(path, values, &reason);
    }
}
BENCHMARK(ConfigFileRoundTrip)->Unit(benchmark::kMicrosecond);

void GraphSeriesPreparation(benchmark::State& state) {
    RecordingWindowLayer windows;
    for (auto _ : state) {
        GraphData(LargestImage(), 1920, 1030);
        benchmark::DoNotOptimize(graph_series.datashow1.data());
    }
}
BENCHMARK(GraphSeriesPreparation)->Unit(benchmark::kMillisecond);

void UploadMessages(benchmark::State& state) {
    const MemoryImage& image = LargestImage();
    const int count = ImageReadingCount(image);
    const ConfigValues values = ConfigFromHeader(image.data());
    const FirmwareVersion firmware = ImageFirmware(image);
    std::vector<int> tenths(count);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            BuildHeaderMessage(MakeUploadHeader(values, ImageStartTime(image), firmware)));
        for (int i = 0; i < count; ++i) {
            tenths[i] = ADToTemp_x10(ReadingAD(image, i), firmware);
        }
        for (int first = 0; first < count; first += PACOTE_ENVIO_DADOS) {
            const int end = std::min(count, first + PACOTE_ENVIO_DADOS);
            benchmark::DoNotOptimize(
                BuildDataPacket(std::span<const int>(tenths.data() + first, end - first)));
        }
    }
}
BENCHMARK(UploadMessages)->Unit(benchmark::kMillisecond);

// Every kind of rule, the windowed MKT among them, as a quality manager's profile may hold.
void RecordingSummaryAndVerdict(benchmark::State& state) {
    const auto profile =
        std::get<Profile>(ParseProfile("todas",
                                       "congelamento: temperature <= -0.5 for 1h single\n"
                                       "calor: temperature >= 8 for 10h cumulative\n"
                                       "semana: mkt window 7d <= 8\n"
                                       "mkt: mkt <= 25\n"
                                       "inferior: alarm below\n"
                                       "superior: alarm above\n"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(SummarizeImage(LargestImage(), profile));
    }
}
BENCHMARK(RecordingSummaryAndVerdict)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
