#include "reports/summary_report.h"

#include <algorithm>
#include <cstdio>

#include "logger/time_zone.h"
#include "reports/pdf.h"

namespace {

// Page geometry, in points from the lower left corner of the A4 page.
constexpr int kLeft = 25;
constexpr int kRight = 570;
constexpr int kValueColumn = 350;
constexpr int kOutcomeColumn = 490;
constexpr int kLine = 14;
// The rules share this height, however many a profile has.
constexpr int kRulesHeight = 280;

struct Colour {
    const char* rg;
};
constexpr Colour kBlack{"0 0 0"};
constexpr Colour kRed{"0.8 0 0"};
constexpr Colour kGreen{"0 0.5 0"};

void Text(PdfFile& pdf, int x, int y, int size, std::string_view utf8, Colour colour = kBlack) {
    PdfPrintf(pdf, "BT\n/F4 %d Tf %s rg\n%d %d Td\n(", size, colour.rg, x, y);
    PdfWrite(pdf, PdfStringText(utf8));
    PdfWrite(pdf, ") Tj\nET\n");
}

void Rule(PdfFile& pdf, int y) {
    PdfPrintf(pdf, "0.5 w %d %d m %d %d l S\n", kLeft, y, kRight, y);
}

// A section title with a rule under it; the y of its first line.
int Section(PdfFile& pdf, int y, std::string_view title) {
    Text(pdf, kLeft, y, 12, title);
    Rule(pdf, y - 4);
    return y - 4 - kLine;
}

std::string Celsius(double value, int decimals) {
    return DecimalText(value, decimals) + " °C";
}

std::string Celsius(const std::optional<double>& value) {
    return value ? Celsius(*value, 2) : "-";
}

std::string Stamp(CALENDAR time, int gmt_offset_hours) {
    ShiftCalendarHours(time, gmt_offset_hours);
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%04u %02d:%02d:%02d", time.day, time.month,
                  time.year, time.h, time.m, time.s);
    return text;
}

std::string GmtText(int gmt_offset_hours) {
    return "GMT" + std::string(1, GmtSignChar(gmt_offset_hours)) + std::to_string(gmt_offset_hours);
}

const char* ComparisonText(Comparison comparison) {
    switch (comparison) {
        case Comparison::Less:
            return "<";
        case Comparison::LessOrEqual:
            return "<=";
        case Comparison::Greater:
            return ">";
        case Comparison::GreaterOrEqual:
            return ">=";
    }
    return "";
}

std::string Episodes(int count) {
    return std::to_string(count) + (count == 1 ? " episódio" : " episódios");
}

// The window speaks as its user writes: a decimal comma, and the comparison signs.
std::string WindowCelsius(double value, int decimals) {
    std::string text = DecimalText(value, decimals);
    std::replace(text.begin(), text.end(), '.', ',');
    return text + " °C";
}

const char* ComparisonSign(Comparison comparison) {
    switch (comparison) {
        case Comparison::Less:
            return "<";
        case Comparison::LessOrEqual:
            return "≤";
        case Comparison::Greater:
            return ">";
        case Comparison::GreaterOrEqual:
            return "≥";
    }
    return "";
}

// "10h 25min", "45min", "1min 30s".
std::string SpanText(long long seconds) {
    std::string text;
    const auto part = [&](long long value, const char* unit) {
        if (value != 0) {
            if (!text.empty()) {
                text += ' ';
            }
            text += std::to_string(value);
            text += unit;
        }
    };
    part(seconds / 3600, "h");
    part(seconds % 3600 / 60, "min");
    part(seconds % 60, "s");
    return text.empty() ? "0min" : text;
}

// What a failed rule measured, against what it allows.
std::string FailureText(const RuleOutcome& outcome) {
    const ProfileRule& rule = outcome.rule;
    const long long seconds = outcome.value ? static_cast<long long>(*outcome.value) : 0;
    switch (rule.kind) {
        case RuleKind::TemperatureSingle:
        case RuleKind::TemperatureCumulative:
            return SpanText(seconds) + " " + ComparisonSign(rule.comparison) + " " +
                   WindowCelsius(rule.value, 1);
        case RuleKind::Mkt:
            return "MKT " + (outcome.value ? WindowCelsius(*outcome.value, 2) : "-") + " > " +
                   WindowCelsius(rule.value, 1);
        case RuleKind::AlarmBelow:
            return "abaixo do limite por " + SpanText(seconds);
        case RuleKind::AlarmAbove:
            return "acima do limite por " + SpanText(seconds);
    }
    return "";
}

int WriteHeader(PdfFile& pdf, const RecordingSummary& s, int gmt_offset_hours) {
    Text(pdf, kLeft, 805, 10, "KELTRIX");
    Text(pdf, 440, 805, 10, "Serial #: " + std::to_string(s.serial));
    Rule(pdf, 800);
    Text(pdf, kLeft, 780, 16, "Resumo do registro");
    Text(pdf, kLeft, 738, 32, s.approved ? "APROVADO" : "REPROVADO", s.approved ? kGreen : kRed);
    Text(pdf, kLeft, 718, 12, "perfil " + s.profile);
    int y = 692;
    Text(pdf, kLeft, y, 10, "Serial: " + std::to_string(s.serial));
    Text(pdf, 160, y, 10, "Descrição: " + s.description);
    y -= kLine;
    const std::string period = s.readings > 0
                                   ? Stamp(s.stats.first_time, gmt_offset_hours) + " a " +
                                         Stamp(s.stats.last_time, gmt_offset_hours) + " (" +
                                         GmtText(gmt_offset_hours) + ")"
                                   : "sem leituras";
    Text(pdf, kLeft, y, 10, "Período: " + period);
    y -= kLine;
    Text(pdf, kLeft, y, 10,
         "Leituras: " + std::to_string(s.readings) + ", uma a cada " + SToHMinS(s.interval_s));
    return y - 2 * kLine;
}

int WriteRules(PdfFile& pdf, const RecordingSummary& s, int y) {
    y = Section(pdf, y, "Regras do perfil");
    Text(pdf, kValueColumn, y, 8, "medido");
    y -= kLine;
    const int step =
        std::clamp(kRulesHeight / std::max<int>(1, static_cast<int>(s.rules.size())), 6, kLine);
    const int size = std::min(10, step - 2);
    for (const RuleOutcome& outcome : s.rules) {
        Text(pdf, kLeft, y, size, outcome.rule.name + ": " + RuleConditionText(outcome.rule));
        Text(pdf, kValueColumn, y, size, RuleValueText(outcome));
        Text(pdf, kOutcomeColumn, y, size, outcome.passed ? "aprovada" : "REPROVADA",
             outcome.passed ? kGreen : kRed);
        y -= step;
    }
    return y - kLine;
}

int WriteLimits(PdfFile& pdf, const RecordingSummary& s, int y) {
    y = Section(pdf, y, "Tempo fora dos limites do cartão (sem o atraso do alarme)");
    const auto side = [&](std::string_view label, const TimeOutsideLimit& time) {
        Text(pdf, kLeft, y, 10, std::string(label) + Celsius(time.limit, 1));
        Text(pdf, 200, y, 10, "total " + SToHMinS(time.total_s));
        Text(pdf, kValueColumn, y, 10, "maior " + SToHMinS(time.longest_s));
        Text(pdf, kOutcomeColumn, y, 10, Episodes(time.episodes));
        y -= kLine;
    };
    side("Abaixo de ", s.below);
    side("Em ou acima de ", s.above);
    return y - kLine;
}

int WriteMkt(PdfFile& pdf, const RecordingSummary& s, int y) {
    y = Section(
        pdf, y,
        "Temperatura cinética média (MKT, Delta H " + DecimalText(s.delta_h_kj, 3) + " kJ/mol)");
    Text(pdf, kLeft, y, 10, "Registro inteiro: " + Celsius(s.mkt));
    Text(pdf, 200, y, 10, "Maior em 24 horas: " + Celsius(s.mkt_24h_max));
    Text(pdf, 390, y, 10, "Maior em 30 dias: " + Celsius(s.mkt_30d_max));
    return y - 2 * kLine;
}

int WriteStatistics(PdfFile& pdf, const RecordingSummary& s, int gmt_offset_hours, int y) {
    y = Section(pdf, y, "Estatísticas");
    if (s.readings == 0) {
        Text(pdf, kLeft, y, 10, "Sem leituras.");
        return y - 2 * kLine;
    }
    const GraphReportValues& v = s.stats;
    Text(pdf, kLeft, y, 10,
         "Menor temperatura: " + Celsius(v.minimum, 1) + " em " +
             Stamp(v.minimum_time, gmt_offset_hours) + " (coleta " +
             std::to_string(v.minimum_number) + ")");
    y -= kLine;
    Text(pdf, kLeft, y, 10,
         "Maior temperatura: " + Celsius(v.maximum, 1) + " em " +
             Stamp(v.maximum_time, gmt_offset_hours) + " (coleta " +
             std::to_string(v.maximum_number) + ")");
    y -= kLine;
    Text(pdf, kLeft, y, 10, "Média: " + Celsius(v.mean, 2));
    Text(pdf, 200, y, 10, "Desvio padrão: " + Celsius(v.deviation, 2));
    y -= kLine;
    const auto alarm = [&](std::string_view label, const AlarmSide& side) {
        Text(pdf, kLeft, y, 10,
             std::string(label) + Episodes(static_cast<int>(side.episodes.size())) + ", maior " +
                 SToHMinS(static_cast<long long>(side.maior_ocorrencia) * v.sample_rate));
        y -= kLine;
    };
    Text(pdf, kLeft, y, 10,
         "Alarmes do cartão, com o atraso de " + SToHMinS(v.alarm_delay) + " aplicado:");
    y -= kLine;
    alarm("Alarme inferior: ", v.low);
    alarm("Alarme superior: ", v.high);
    return y - kLine;
}

}  // namespace

std::string DurationText(long long seconds) {
    if (seconds >= 86400 && seconds % 86400 == 0 && seconds / 86400 != 1) {
        return std::to_string(seconds / 86400) + "d";
    }
    if (seconds >= 3600 && seconds % 3600 == 0) {
        return std::to_string(seconds / 3600) + "h";
    }
    if (seconds % 60 == 0) {
        return std::to_string(seconds / 60) + "min";
    }
    return std::to_string(seconds) + "s";
}

std::string RuleConditionText(const ProfileRule& rule) {
    switch (rule.kind) {
        case RuleKind::TemperatureSingle:
        case RuleKind::TemperatureCumulative: {
            const std::string comparison = std::string("temperatura ") +
                                           ComparisonText(rule.comparison) + " " +
                                           Celsius(rule.value, 1);
            if (rule.duration_s == 0) {
                return comparison + " em qualquer leitura";
            }
            return comparison + " por " + DurationText(rule.duration_s) +
                   (rule.kind == RuleKind::TemperatureSingle ? " seguidas" : " somadas");
        }
        case RuleKind::Mkt:
            return (rule.duration_s > 0 ? "MKT em " + DurationText(rule.duration_s)
                                        : std::string("MKT")) +
                   " <= " + Celsius(rule.value, 1);
        case RuleKind::AlarmBelow:
            return "alarme inferior do cartão";
        case RuleKind::AlarmAbove:
            return "alarme superior do cartão";
    }
    return "";
}

std::string RuleValueText(const RuleOutcome& outcome) {
    if (!outcome.value) {
        return "-";
    }
    if (outcome.rule.kind == RuleKind::Mkt) {
        return Celsius(*outcome.value, 2);
    }
    return SToHMinS(static_cast<long long>(*outcome.value));
}

std::string VerdictLineText(const RecordingSummary& summary) {
    std::string line = summary.approved ? "APROVADO" : "REPROVADO";
    line += " — perfil " + summary.profile;
    const char* separator = ": ";
    for (const RuleOutcome& outcome : summary.rules) {
        if (outcome.passed) {
            continue;
        }
        line += separator + outcome.rule.name + " " + FailureText(outcome);
        separator = "; ";
    }
    return line;
}

bool WriteSummaryReport(const std::string& path, const RecordingSummary& summary,
                        int gmt_offset_hours, std::string_view data_sha256, std::string* error) {
    PdfFile pdf;
    if (!PdfCreate(pdf, path)) {
        *error = pdf.error;
        return false;
    }
    PdfParameteres(pdf, "Resumo do registro – Serial " + std::to_string(summary.serial),
                   data_sha256);
    PdfSummary(pdf, 1);
    PdfBeginPage(pdf, 1);
    int y = WriteHeader(pdf, summary, gmt_offset_hours);
    y = WriteRules(pdf, summary, y);
    y = WriteLimits(pdf, summary, y);
    y = WriteMkt(pdf, summary, y);
    WriteStatistics(pdf, summary, gmt_offset_hours, y);
    PdfFooter(pdf, path, 1, 1);
    PdfEndWritePage(pdf);
    if (!PdfClose(pdf)) {
        *error = pdf.error;
        return false;
    }
    return true;
}
