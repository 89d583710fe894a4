#include "reports/recording_summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/json_text.h"
#include "logger/cp1252.h"
#include "logger/readings.h"
#include "sensor/temp.h"

namespace {

constexpr double kKelvin = 273.15;

// exp(-dH / (R T)) of each reading, whose mean gives the MKT.
class KineticTerms {
  public:
    KineticTerms(const std::vector<int>& tenths, double delta_h_kj)
        : activation_(delta_h_kj * 1000.0 / MKT_GAS_CONSTANT) {
        terms_.reserve(tenths.size());
        if (tenths.empty()) {
            return;
        }
        // A recording repeats a few hundred values: each term is worked out once.
        const auto [low, high] = std::minmax_element(tenths.begin(), tenths.end());
        const long long span = static_cast<long long>(*high) - *low + 1;
        std::vector<double> by_value(span <= kMaxCachedSpan ? static_cast<std::size_t>(span) : 0,
                                     -1.0);
        for (const int t : tenths) {
            if (by_value.empty()) {
                terms_.push_back(Term(t));
                continue;
            }
            double& term = by_value[static_cast<std::size_t>(t - *low)];
            if (term < 0) {
                term = Term(t);
            }
            terms_.push_back(term);
        }
    }

    double MktOfMean(double mean_term) const {
        return activation_ / -std::log(mean_term) - kKelvin;
    }

    std::optional<double> Whole() const {
        if (terms_.empty()) {
            return std::nullopt;
        }
        double sum = 0;
        for (const double term : terms_) {
            sum += term;
        }
        return MktOfMean(sum / static_cast<double>(terms_.size()));
    }

    // The highest MKT of any run of consecutive readings lasting `window_s`; the MKT grows
    // with the mean of the terms, so the run with the largest sum has it.
    std::optional<double> HighestOfWindow(long long window_s, int interval_s) const {
        const std::size_t n = terms_.size();
        if (interval_s <= 0 || static_cast<unsigned long long>(window_s / interval_s) >= n) {
            return Whole();
        }
        const auto length = static_cast<std::size_t>(std::max(1LL, window_s / interval_s));
        double sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            sum += terms_[i];
        }
        double highest = sum;
        for (std::size_t i = length; i < n; ++i) {
            sum += terms_[i] - terms_[i - length];
            highest = std::max(highest, sum);
        }
        return MktOfMean(highest / static_cast<double>(length));
    }

  private:
    static constexpr long long kMaxCachedSpan = 1 << 16;

    double Term(int tenths) const { return std::exp(-activation_ / (tenths / 10.0 + kKelvin)); }

    double activation_;  // dH / R, kelvin
    std::vector<double> terms_;
};

TimeOutsideLimit TimeOnSide(const std::vector<float>& readings, const GraphReportValues& v,
                            LimitSide side, int interval_s) {
    TimeOutsideLimit time;
    time.limit = side == LimitSide::Below ? v.t_low : v.t_high;
    long long run = 0;
    long long total = 0;
    long long longest = 0;
    for (const float t : readings) {
        if (SideOfLimits(t, v.t_low, v.t_high) != side) {
            run = 0;
            continue;
        }
        if (run++ == 0) {
            ++time.episodes;
        }
        ++total;
        longest = std::max(longest, run);
    }
    time.total_s = total * interval_s;
    time.longest_s = longest * interval_s;
    return time;
}

// Readings are whole tenths: a threshold such as 0.1, not exact in binary, is taken as
// the tenth it names, so that "<= 0.1" holds for a reading of 0.1.
double ThresholdInTenths(double celsius) {
    const double tenths = celsius * 10.0;
    const double whole = std::round(tenths);
    return std::fabs(tenths - whole) < 1e-6 ? whole : tenths;
}

bool Meets(int tenths, Comparison comparison, double threshold) {
    const auto t = static_cast<double>(tenths);
    switch (comparison) {
        case Comparison::Less:
            return t < threshold;
        case Comparison::LessOrEqual:
            return t <= threshold;
        case Comparison::Greater:
            return t > threshold;
        case Comparison::GreaterOrEqual:
            return t >= threshold;
    }
    return false;
}

RuleOutcome Judge(const ProfileRule& rule, const std::vector<int>& tenths, int interval_s,
                  const GraphReportValues& stats, const KineticTerms& kinetic) {
    RuleOutcome outcome;
    outcome.rule = rule;
    switch (rule.kind) {
        case RuleKind::TemperatureSingle:
        case RuleKind::TemperatureCumulative: {
            const double threshold = ThresholdInTenths(rule.value);
            long long run = 0;
            long long longest = 0;
            long long count = 0;
            for (const int t : tenths) {
                run = Meets(t, rule.comparison, threshold) ? run + 1 : 0;
                count += run > 0 ? 1 : 0;
                longest = std::max(longest, run);
            }
            const long long seconds =
                (rule.kind == RuleKind::TemperatureSingle ? longest : count) * interval_s;
            outcome.value = static_cast<double>(seconds);
            outcome.passed = count == 0 || seconds < rule.duration_s;
            break;
        }
        case RuleKind::Mkt:
            outcome.value = rule.duration_s > 0
                                ? kinetic.HighestOfWindow(rule.duration_s, interval_s)
                                : kinetic.Whole();
            outcome.passed = !outcome.value || *outcome.value <= rule.value;
            break;
        case RuleKind::AlarmBelow:
        case RuleKind::AlarmAbove: {
            const AlarmSide& side = rule.kind == RuleKind::AlarmBelow ? stats.low : stats.high;
            outcome.value = static_cast<double>(static_cast<long long>(side.maior_ocorrencia) *
                                                stats.sample_rate);
            outcome.passed = side.episodes.empty();
            break;
        }
    }
    return outcome;
}

// One value in both forms: JSON text, and the text after "name=".
struct Field {
    std::string json;
    std::string line;
};

Field Number(double value, int decimals) {
    if (!std::isfinite(value)) {
        return {"null", ""};
    }
    const std::string text = DecimalText(value, decimals);
    return {text, text};
}

Field Number(const std::optional<double>& value, int decimals) {
    return value ? Number(*value, decimals) : Field{"null", ""};
}

Field Count(long long value) {
    const std::string text = std::to_string(value);
    return {text, text};
}

Field Text(std::string_view text) {
    std::string json;
    json += JsonString(text);
    return {json, std::string(text)};
}

Field Boolean(bool value) {
    return {value ? "true" : "false", value ? "true" : "false"};
}

Field Time(int readings, const CALENDAR& time) {
    return readings > 0 ? Text(IsoTimeText(time)) : Field{"null", ""};
}

// A JSON object or array and the matching name=value lines, built side by side.
class SummaryWriter {
  public:
    SummaryWriter(std::string& json, std::string& lines) : json_(json), lines_(lines) {}

    void Add(std::string_view name, const Field& field) {
        AddToJson(name, field);
        lines_ += prefix_;
        lines_ += name;
        lines_ += '=';
        lines_ += field.line;
        lines_ += '\n';
    }
    // A member the lines already carry in their names.
    void AddToJson(std::string_view name, const Field& field) {
        Key(name);
        json_ += field.json;
    }
    // Opens an object under `name` (or, with `name` empty, an array element); the lines
    // name its members `line_name`.member.
    void Open(std::string_view name, std::string_view line_name) {
        if (name.empty()) {
            Separator();
        } else {
            Key(name);
        }
        json_ += '{';
        first_ = true;
        saved_prefix_ = prefix_;
        prefix_ += line_name;
        prefix_ += '.';
    }
    void Close() {
        json_ += '}';
        first_ = false;
        prefix_ = saved_prefix_;
    }
    void OpenArray(std::string_view name) {
        Key(name);
        json_ += '[';
        first_ = true;
    }
    void CloseArray() {
        json_ += ']';
        first_ = false;
    }

  private:
    void Separator() {
        if (!first_) {
            json_ += ',';
        }
        first_ = false;
    }
    void Key(std::string_view name) {
        Separator();
        json_ += JsonString(name);
        json_ += ':';
    }

    std::string& json_;
    std::string& lines_;
    std::string prefix_;
    std::string saved_prefix_;
    bool first_ = true;
};

void WriteSummary(const RecordingSummary& s, std::string& json, std::string& lines) {
    SummaryWriter out(json, lines);
    json += '{';
    out.Add("readings", Count(s.readings));
    out.Add("interval_s", Count(s.interval_s));
    out.Add("first", Time(s.readings, s.stats.first_time));
    out.Add("last", Time(s.readings, s.stats.last_time));
    const auto stat = [&](double value, int decimals) {
        return s.readings > 0 ? Number(value, decimals) : Field{"null", ""};
    };
    out.Add("min", stat(s.stats.minimum, 1));
    out.Add("max", stat(s.stats.maximum, 1));
    out.Add("mean", stat(s.stats.mean, 2));
    out.Add("sd", stat(s.stats.deviation, 2));
    out.Add("mkt", Number(s.mkt, 2));
    out.Add("mkt_24h_max", Number(s.mkt_24h_max, 2));
    out.Add("mkt_30d_max", Number(s.mkt_30d_max, 2));
    for (const auto& [name, side] : {std::pair{"below", &s.below}, std::pair{"above", &s.above}}) {
        out.Open(name, name);
        out.Add("limit", Number(side->limit, 1));
        out.Add("total_s", Count(side->total_s));
        out.Add("longest_s", Count(side->longest_s));
        out.Add("episodes", Count(side->episodes));
        out.Close();
    }
    out.Add("profile", Text(s.profile));
    out.Add("verdict", Text(VerdictText(s.approved)));
    out.OpenArray("rules");
    for (const RuleOutcome& outcome : s.rules) {
        out.Open("", "rules." + outcome.rule.name);
        out.AddToJson("name", Text(outcome.rule.name));
        out.Add("passed", Boolean(outcome.passed));
        out.Add("value", Number(outcome.value, outcome.rule.kind == RuleKind::Mkt ? 2 : 0));
        out.Close();
    }
    out.CloseArray();
    json += "}\n";
}

}  // namespace

RecordingSummary SummarizeTenths(const std::vector<int>& tenths, int low_x10, int high_x10,
                                 int interval_s, int alarm_delay, const CALENDAR& start,
                                 const Profile& profile) {
    RecordingSummary s;
    s.readings = static_cast<int>(tenths.size());
    s.interval_s = std::max(0, interval_s);
    s.stats = GraphReportFromTenths(tenths, low_x10, high_x10, interval_s, alarm_delay, start);
    const KineticTerms kinetic(tenths, profile.delta_h_kj);
    s.mkt = kinetic.Whole();
    s.mkt_24h_max = kinetic.HighestOfWindow(SECONDS_24H, s.interval_s);
    s.mkt_30d_max = kinetic.HighestOfWindow(SECONDS_30D, s.interval_s);
    s.below = TimeOnSide(s.stats.readings, s.stats, LimitSide::Below, s.interval_s);
    s.above = TimeOnSide(s.stats.readings, s.stats, LimitSide::Above, s.interval_s);
    s.profile = profile.name;
    s.delta_h_kj = profile.delta_h_kj;
    for (const ProfileRule& rule : profile.rules) {
        s.rules.push_back(Judge(rule, tenths, s.interval_s, s.stats, kinetic));
        s.approved = s.approved && s.rules.back().passed;
    }
    return s;
}

RecordingSummary SummarizeImage(const MemoryImage& image, const Profile& profile) {
    const ConfigValues config = ConfigFromHeader(image.data());
    const int count = ImageReadingCount(image);
    std::vector<int> tenths;
    tenths.reserve(static_cast<std::size_t>(count));
    const FirmwareVersion firmware = ImageFirmware(image);
    for (int i = 0; i < count; ++i) {
        tenths.push_back(ADToTemp_x10(ReadingAD(image, i), firmware));
    }
    RecordingSummary s = SummarizeTenths(
        tenths, ImageTemp_x10(image, config.t_low_alarm), ImageTemp_x10(image, config.t_high_alarm),
        config.sample_rate, config.alarm_delay, ImageStartTime(image), profile);
    s.serial = config.serial;
    s.stats.serial = config.serial;
    s.description = Cp1252ToUtf8(DescriptionBytes(config.descricao.data()));
    return s;
}

const char* VerdictText(bool approved) {
    return approved ? "aprovado" : "reprovado";
}

std::string SummaryJson(const RecordingSummary& summary) {
    std::string json;
    std::string lines;
    WriteSummary(summary, json, lines);
    return json;
}

std::string SummaryLines(const RecordingSummary& summary) {
    std::string json;
    std::string lines;
    WriteSummary(summary, json, lines);
    return lines;
}

std::string IsoTimeText(const CALENDAR& c) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month, c.day, c.h,
                  c.m, c.s);
    return text;
}

std::string DecimalText(double value, int decimals) {
    // The largest double has 309 digits before the point; a profile may name one.
    char text[400];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) {
        return "-";
    }
    std::string formatted(text, end);
    if (formatted.starts_with('-') && formatted.find_first_not_of("-0.") == std::string::npos) {
        formatted.erase(0, 1);
    }
    return formatted;
}
