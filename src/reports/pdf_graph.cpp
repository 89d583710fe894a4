#include "reports/pdf_graph.h"

#include <algorithm>
#include <cmath>

#include "base/number_text.h"
#include "files/digest.h"
#include "logger/readings.h"
#include "logger/time_zone.h"

namespace {

// Chart geometry, in points.
constexpr int offset_left = 60;
constexpr int offset_top = 150;  // the plot's lower edge
constexpr int largura_graph = 480;
constexpr int altura_graph = 310;
constexpr float n_colunas = 7.0f;
constexpr float n_linhas = 10.0f;
constexpr float distancia_colunas_grade = largura_graph / n_colunas;
constexpr float distancia_linhas_grade = altura_graph / n_linhas;
constexpr int kTimeLabels = 7;
constexpr int kTemperatureLabels = 11;

void PdfFooter_g(PdfFile& pdf, std::string_view file_name, int n, int p) {
    PdfWrite(pdf, "BT\n0 Tc 0 Tw 25 25 TD\n[(" + PdfStringText(file_name) + ")] TJ\n");
    PdfPrintf(pdf, "260 -10 TD\n [(Pagina %d de %d)]TJ\nET\n", n, p);
}

void PrintStamp(PdfFile& pdf, const char* format, const CALENDAR& c) {
    PdfPrintf(pdf, format, -13, c.day, c.month, static_cast<int>(c.year), c.h, c.m, c.s);
}

void WriteAlarmBlock(PdfFile& pdf, const AlarmSide& side, int sample_rate) {
    PdfPrintf(pdf, "0 %d TD\n[(Duracao total: %s )] TJ\n", -13,
              SToHMinS(static_cast<long long>(side.ocorrencias) * sample_rate).c_str());
    PdfPrintf(pdf, "0 %d TD\n[(Total de coletas: %d )] TJ\n", -13, side.ocorrencias);
    PrintStamp(pdf, "0 %d TD\n[(Primeiro evento: %02d/%02d/%04d  %02d:%02d:%02d)] TJ\n",
               side.extreme_trigged);
    PdfPrintf(pdf, "0 %d TD\n[(Maior tempo: %s )] TJ\n", -13,
              SToHMinS(static_cast<long long>(side.maior_ocorrencia) * sample_rate).c_str());
    PrintStamp(pdf, "0 %d TD\n[(                      %02d/%02d/%04d  %02d:%02d:%02d)] TJ\n",
               side.maior_ocorrencia_trigged);
    PdfPrintf(pdf, "0 %d TD\n[(                      coleta N\\241. %d)] TJ\n", -13,
              side.maior_ocorrencia_id);
}

void WriteTextObject(PdfFile& pdf, const GraphReportValues& v) {
    const char unit = v.fahrenheit ? 'F' : 'C';
    // "%02.1f" of a temperature in the report's unit.
    const auto shown = [&](double t) {
        return FixedText(ct(static_cast<float>(t), v.fahrenheit), 1);
    };
    PdfPrintf(pdf, "BT\n/F4 %d Tf\n", 10);
    PdfWrite(pdf, "0 Tc 0 Tw 25 790 TD\n[(________)] TJ\n");
    PdfPrintf(pdf, "0 %d TD\n[(Morvelta)] TJ\n", 2);
    PdfPrintf(pdf,
              "0 %d TD\n[(______________________________________________________________________"
              "______________________)] TJ\n",
              -26);
    PdfPrintf(pdf, "0 %d TD\n[(KELTRIX)] TJ\n", 2);
    PdfPrintf(pdf, "420 0 TD\n[(Serial #: %ld)] TJ\n", v.serial);
    PdfPrintf(pdf, "/F4 %d Tf\n", 8);
    PdfPrintf(pdf, "-420 %d TD\n[( )] TJ\n", -13);
    PdfWrite(pdf, "-0 1 TD\n[( )] TJ\n");
    PdfPrintf(pdf, "0 %d TD\n[(____________________________________________)] TJ\n", -26);
    PdfWrite(pdf, "0 1 TD\n[(Configuracoes)] TJ\n");
    PdfPrintf(pdf, "0 %d TD\n[(Temperatura inferior para alarme: %s\\241%c)] TJ\n", -13,
              shown(v.t_low).c_str(), unit);
    PdfPrintf(pdf, "0 %d TD\n[(Temperatura superior para alarme: %s\\241%c)] TJ\n", -13,
              shown(v.t_high).c_str(), unit);
    PdfPrintf(pdf,
              "0 %d TD\n[(Atraso para disparo do alarme, quando temperatura fora da faixa: "
              "%s)] TJ\n",
              -13, SToHMinS(v.alarm_delay).c_str());
    const TimeUnitValue interval = converteUnidadeTempo_g(v.sample_rate);
    PdfPrintf(pdf, "0 %d TD\n[(Intervalo entre medicoes: %d%s)] TJ\n", -13, interval.valor,
              interval.unidade);
    const char* const long_rule =
        "0 %d TD\n[(____________________________________________________________________________"
        "_______________________________________)] TJ\n";
    PdfPrintf(pdf, long_rule, -26);
    PdfWrite(pdf, "0 1 TD\n[(Alarmes)] TJ\n");
    const auto extreme = [&](const char* label, double value, const CALENDAR& time, int number) {
        PdfPrintf(pdf, "0 %d TD\n[(%s: %s\\241%c)] TJ\n", -13, label, shown(value).c_str(), unit);
        PrintStamp(
            pdf, "0 %d TD\n[(                               %02d/%02d/%04d  %02d:%02d:%02d)] TJ\n",
            time);
        PdfPrintf(pdf, "0 %d TD\n[(                               coleta N\\241. %d)] TJ\n", -13,
                  number);
    };
    extreme("Menor temperatura", v.minimum, v.minimum_time, v.minimum_number);
    extreme("Maior temperatura", v.maximum, v.maximum_time, v.maximum_number);
    PdfPrintf(pdf, "0 %d TD\n[(Media: %s\\241%c)] TJ\n", -13, shown(v.mean).c_str(), unit);
    // A spread converts without the offset.
    const double deviation = v.fahrenheit ? v.deviation * 1.8 : v.deviation;
    PdfPrintf(pdf, "0 %d TD\n[(Desvio padrao: %c %s\\241%c)] TJ\n", -13, '\xB1',
              FixedText(deviation, 1).c_str(), unit);
    PdfPrintf(pdf, "0 %d TD\n[(Temperatura Cinetica Media (MKT): %s\\241%c)] TJ\n", -13,
              shown(v.mkt).c_str(), unit);
    PdfPrintf(pdf, long_rule, -2);
    PdfPrintf(pdf, "0 %d TD\n[( Grafico:)] TJ\n", -26);

    PdfPrintf(pdf, "%d %d TD\n[(________________________________)] TJ\n", 184, 130);
    PdfPrintf(pdf, "0 %d TD\n[([ %c ] Alarme inferior)] TJ\n", 1,
              v.low.ocorrencias > 0 ? 'X' : ' ');
    WriteAlarmBlock(pdf, v.low, v.sample_rate);
    PdfPrintf(pdf, "%d %d TD\n[(________________________________)] TJ\n", 184, 77);
    PdfPrintf(pdf, "0 1 TD\n[([ %c ] Alarme superior)] TJ\n", v.high.ocorrencias > 0 ? 'X' : ' ');
    WriteAlarmBlock(pdf, v.high, v.sample_rate);

    const char* const short_rule = "___________________________________________________";
    PdfPrintf(pdf, "%d %d TD\n[(%s)] TJ\n", -84, 190, short_rule);
    PdfPrintf(pdf, "0 1 TD\n[(Todos os tempos sao mostrados em GMT%c%d)] TJ\n",
              GmtSignChar(ajuste_hora), ajuste_hora);
    PdfPrintf(pdf, "0 %d TD\n[(%s)] TJ\n", -26, short_rule);
    PdfWrite(pdf, "0 1 TD\n[(Resumo de registros)] TJ\n");
    PrintStamp(pdf, "0 %d TD\n[(Primeiro: %02d/%02d/%04d  %02d:%02d:%02d)] TJ\n", v.first_time);
    PrintStamp(pdf, "0 %d TD\n[(Ultimo: %02d/%02d/%04d  %02d:%02d:%02d)] TJ\n", v.last_time);
    PdfPrintf(pdf, "0 %d TD\n[(Total de coletas registradas: %d)] TJ\n", -13,
              static_cast<int>(v.readings.size()));
    PdfWrite(pdf, "ET\n");
}

// Height of temperature t in the plot, as the page coordinate it is drawn at.
int ChartY(float t, float menor, float maior) {
    const float y = altura_graph - (maior - t) * altura_graph / (maior - menor);
    return static_cast<int>(offset_top + y);
}

void Segment(PdfFile& pdf, int x1, int y1, int x2, int y2) {
    PdfPrintf(pdf, "%d %d m %d %d l h S\n", x1, y1, x2, y2);
}

// Sets `cal` to the time stamp of reading `log`.
void CalcDateGraph_g(int log, int sample_rate, const CALENDAR& cal_primeira_medicao) {
    cal = cal_primeira_medicao;
    if (sample_rate > 0 && log > 0) {
        AdvanceCalendar(cal,
                        static_cast<unsigned long>(log) * static_cast<unsigned long>(sample_rate));
    }
}

}  // namespace

GraphReportValues GraphReportData(const MemoryImage& image, TimeBase base) {
    const ConfigValues config = ConfigFromHeader(image.data());
    std::vector<int> tenths;
    tenths.reserve(static_cast<std::size_t>(ImageReadingCount(image)));
    for (int i = 0; i < ImageReadingCount(image); ++i) {
        tenths.push_back(ImageTemp_x10(image, ReadingAD(image, i)));
    }
    // The decoders' time base: the start time with the time-zone choice, applied once.
    cal = ImageStartTime(image);
    if (base != TimeBase::CardTime) {
        ajustaHoraBrasilia(base == TimeBase::Gmt);
    }
    const CALENDAR start = cal;
    GraphReportValues v = GraphReportFromTenths(tenths, ImageTemp_x10(image, config.t_low_alarm),
                                                ImageTemp_x10(image, config.t_high_alarm),
                                                config.sample_rate, config.alarm_delay, start);
    v.serial = config.serial;
    v.fahrenheit = config.temp_unit != 0;
    cal = v.readings.empty() ? v.chart_start : v.last_time;
    return v;
}

int ChartStep(int log_count) {
    return log_count / largura_graph + 1;
}

int TimeLabelReading(int k, int log_count) {
    float bf = static_cast<float>(log_count) / n_colunas;
    if (bf == 0.0f) {
        bf = 1.0f;
    }
    return static_cast<int>(static_cast<float>(k) * bf);
}

void PdfGraph_g(PdfFile& pdf, const std::vector<float>& tinX, float t_low, float t_high,
                int sample_rate, const CALENDAR& cal_primeira_medicao, bool fahrenheit,
                long serial) {
    const int n = static_cast<int>(tinX.size());
    float menor = t_low;
    float maior = t_high;
    for (float t : tinX) {
        menor = t < menor ? t : menor;
        maior = t > maior ? t : maior;
    }
    if (!(maior > menor)) {
        // Nothing to scale: give the flat line a range of its own, wide enough to survive
        // the rounding of a large value (a refused temperature is -1e8).
        const float margin = std::max(1.0f, std::fabs(maior) * 1e-6f);
        menor -= margin;
        maior += margin;
    }

    // Dotted grid: one-point marks four points apart; x and y stay whole points.
    for (int x = offset_left; x < offset_left + largura_graph;
         x = static_cast<int>(static_cast<float>(x) + distancia_colunas_grade)) {
        for (int y = offset_top; y < offset_top + altura_graph - 4; y += 4) {
            Segment(pdf, x, y, x, y - 1);
        }
    }
    for (int y = offset_top; y <= offset_top + altura_graph;
         y = static_cast<int>(static_cast<float>(y) + distancia_linhas_grade)) {
        for (int x = offset_left; x < offset_left + largura_graph; x += 4) {
            Segment(pdf, x, y, x, y - 1);
        }
    }
    const int y_low = ChartY(t_low, menor, maior);
    const int y_high = ChartY(t_high, menor, maior);
    // Dashed thresholds.
    for (int x = offset_left; x < offset_left + largura_graph; x += 8) {
        Segment(pdf, x, y_low, x + 4, y_low);
        Segment(pdf, x, y_high, x + 4, y_high);
    }
    if (n >= 2) {
        const auto lagura_por_ponto = static_cast<float>(largura_graph * 0.992 / (n - 1));
        const int salto = ChartStep(n);
        for (int i = 0; i + salto < n; i += salto) {
            Segment(
                pdf, offset_left + static_cast<int>(static_cast<float>(i) * lagura_por_ponto),
                ChartY(tinX[i], menor, maior),
                static_cast<int>(static_cast<float>(i + salto) * lagura_por_ponto) + offset_left,
                ChartY(tinX[i + salto], menor, maior));
        }
    }
    PdfPrintf(pdf, "%d %d %d %d re h S\n", 30, 80, 510, 420);

    PdfWrite(pdf, "BT\n/F4 6 Tf\n");
    PdfPrintf(pdf, "0 Tc 0 Tw %d %d TD\n", 40, 116);
    for (int k = 0; k < kTemperatureLabels; ++k) {
        PdfPrintf(pdf, "%d %d TD\n", 0, 31);
        const float t = ct(static_cast<float>(menor + k * (maior - menor) / 10.0), fahrenheit);
        PdfWrite(pdf, "[(" + FixedText(t, 1) + ")] TJ\n");
    }
    PdfWrite(pdf, "ET\n");

    PdfWrite(pdf, "BT\n/F4 6 Tf\n");
    PdfPrintf(pdf, "0 Tc 0 Tw %d %d TD\n",
              static_cast<int>(offset_left - 25 - distancia_colunas_grade), offset_top - 10);
    int a = -1;
    for (int k = 0; k < kTimeLabels; ++k) {
        CalcDateGraph_g(TimeLabelReading(k, n), sample_rate, cal_primeira_medicao);
        PdfPrintf(pdf, "%d %d TD\n", 68, 10 * a);
        PdfPrintf(pdf, "[(%02d/%02d/%02d  %02d:%02d:%02d)] TJ\n", cal.day, cal.month,
                  static_cast<int>(cal.year) - 2000, cal.h, cal.m, cal.s);
        a = -a;
    }
    PdfPrintf(pdf, "-170 -20 TD\n[(Data/hora (GMT%c%d))]TJ\n", GmtSignChar(ajuste_hora),
              ajuste_hora);
    PdfPrintf(pdf, "-235 370 TD\n[(Temperatura \\241%c)]TJ\n", fahrenheit ? 'F' : 'C');
    PdfPrintf(pdf, "240 0 TD\n[(Serial: #%ld)]TJ\nET\n", serial);
}

bool WriteGraphReportFile(const std::string& path, const MemoryImage& image, TimeBase base,
                          std::string* reason) {
    const GraphReportValues v = GraphReportData(image, base);
    const std::string data_sha256 = DataFileSha256(image);
    return WritePdfFile(path, reason, [&](PdfFile& pdf) {
        PdfParameteres(pdf, "Relatório gráfico – Serial " + std::to_string(v.serial), data_sha256);
        PdfSummary(pdf, 1);
        PdfBeginPage(pdf, 1);
        WriteTextObject(pdf, v);
        PdfGraph_g(pdf, v.readings, v.t_low, v.t_high, v.sample_rate, v.chart_start, v.fahrenheit,
                   v.serial);
        PdfFooter_g(pdf, path, 1, 1);
        PdfEndWritePage(pdf);
    });
}
