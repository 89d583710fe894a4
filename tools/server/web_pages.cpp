#include "web_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "reports/recording_stats.h"
#include "web_escape.h"

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";
// Reading times as the card sends them: Brasília time, no daylight saving.
constexpr const char* kTimeBase = "GMT-3";
constexpr const char* kIsoOffset = "-03:00";
constexpr const char* kUnknown = "—";

// ---- Numbers and times -------------------------------------------------------------

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "8,0 °C": a Celsius temperature in the card's unit, Portuguese decimal comma.
std::string Temp(double celsius, bool fahrenheit) {
    std::string text = Format("%.1f", ct(static_cast<float>(celsius), fahrenheit));
    std::replace(text.begin(), text.end(), '.', ',');
    return text + (fahrenheit ? " °F" : " °C");
}

// A spread converts without the offset.
std::string Spread(double celsius, bool fahrenheit) {
    std::string text = Format("%.1f", fahrenheit ? celsius * 1.8 : celsius);
    std::replace(text.begin(), text.end(), '.', ',');
    return "± " + text + (fahrenheit ? " °F" : " °C");
}

// Tenths exactly, as "-12.5": for CSV and JSON.
std::string TenthsText(int tenths) {
    const int whole = std::abs(tenths);
    return std::string(tenths < 0 ? "-" : "") + std::to_string(whole / 10) + "." +
           std::to_string(whole % 10);
}

std::string Number(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char format[8];
    std::snprintf(format, sizeof format, "%%.%df", decimals);
    return Format(format, value);
}

std::string DateTime(const CALENDAR& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%02u/%02u/%04u %02u:%02u:%02u", c.day, c.month, c.year, c.h,
                  c.m, c.s);
    return text;
}

std::string IsoTime(const CALENDAR& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%s", c.year, c.month, c.day, c.h,
                  c.m, c.s, kIsoOffset);
    return text;
}

std::string CsvTime(const CALENDAR& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", c.year, c.month, c.day, c.h,
                  c.m, c.s);
    return text;
}

// The server's "YYYY-MM-DD HH:MM:SS" (UTC) as "DD/MM/YYYY HH:MM:SS".
std::string ReceivedText(const std::string& received) {
    if (received.size() != 19) {
        return received;
    }
    return received.substr(8, 2) + "/" + received.substr(5, 2) + "/" + received.substr(0, 4) +
           received.substr(10);
}

std::string ReceivedIso(const std::string& received) {
    if (received.size() != 19) {
        return received;
    }
    return received.substr(0, 10) + "T" + received.substr(11) + "Z";
}

std::string IntervalText(int seconds) {
    const TimeUnitValue interval = converteUnidadeTempo_g(seconds);
    return std::to_string(interval.valor) + interval.unidade;
}

long long PageCount(long long rows, int per_page) {
    return std::max(1LL, (rows + per_page - 1) / per_page);
}

long long ClampPage(long long page, long long pages) {
    return std::clamp(page, 1LL, pages);
}

// ---- HTML pieces -------------------------------------------------------------------

std::string PageStart(const std::string& title, const std::string& crumbs) {
    return "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           Html(title) +
           " — RazuRozavi</title>\n<link rel=\"stylesheet\" href=\"/estilo.css\">\n</head>\n"
           "<body>\n<header><a class=\"marca\" href=\"/\">RazuRozavi</a> "
           "<span>Servidor de coleta KELTRIX</span></header>\n<nav class=\"trilha\">" +
           crumbs + "</nav>\n<main>\n";
}

std::string PageEnd() {
    return "</main>\n<footer>Somente leitura. Horários das leituras em " + std::string(kTimeBase) +
           " (horário de Brasília), como o cartão os envia; horários de recebimento em "
           "UTC.</footer>\n</body>\n</html>\n";
}

std::string Pager(const std::string& base, long long page, long long pages,
                  const std::string& anchor = "") {
    if (pages <= 1) {
        return "";
    }
    const auto link = [&](long long to, const char* label) {
        return "<a href=\"" + base + "?pagina=" + std::to_string(to) + anchor + "\">" + label +
               "</a>";
    };
    std::string html = "<nav class=\"paginas\">";
    if (page > 1) {
        html += link(1, "« primeira") + " " + link(page - 1, "‹ anterior") + " ";
    }
    html += "<span>página " + std::to_string(page) + " de " + std::to_string(pages) + "</span>";
    if (page < pages) {
        html += " " + link(page + 1, "próxima ›") + " " + link(pages, "última »");
    }
    return html + "</nav>\n";
}

std::string Cell(const std::string& html, const char* cls = nullptr) {
    return cls != nullptr ? "<td class=\"" + std::string(cls) + "\">" + html + "</td>"
                          : "<td>" + html + "</td>";
}

std::string Description(const std::string& text) {
    return text.empty() ? "<span class=\"vazio\">(sem descrição)</span>" : Html(text);
}

std::string LimitsBadge(bool left) {
    return left ? "<span class=\"selo fora\">Saiu dos limites</span>"
                : "<span class=\"selo dentro\">Dentro dos limites</span>";
}

WebResponse Html200(std::string body) {
    return {200, kHtml, std::move(body), ""};
}

WebResponse Json200(std::string body) {
    return {200, kJson, std::move(body), ""};
}

// ---- JSON pieces -------------------------------------------------------------------

std::string JsonCalendar(bool known, const CALENDAR& c) {
    return known ? JsonString(IsoTime(c)) : "null";
}

std::string JsonSummary(const StoredUpload& u, const UploadSummary& s) {
    return "{\"id\":" + std::to_string(u.id) + ",\"serial\":" + std::to_string(u.serial) +
           ",\"descricao\":" + JsonString(u.description) +
           ",\"recebido\":" + JsonString(ReceivedIso(u.received)) +
           ",\"inicio\":" + JsonCalendar(s.times_known && s.readings > 0, s.first) +
           ",\"fim\":" + JsonCalendar(s.times_known && s.readings > 0, s.last) +
           ",\"leituras\":" + std::to_string(s.readings) +
           ",\"intervalo_s\":" + std::to_string(u.sample_rate) +
           ",\"limite_inferior_c\":" + TenthsText(u.low_alarm_x10) +
           ",\"limite_superior_c\":" + TenthsText(u.high_alarm_x10) +
           ",\"minima_c\":" + (s.readings > 0 ? Number(s.minimum, 1) : "null") +
           ",\"maxima_c\":" + (s.readings > 0 ? Number(s.maximum, 1) : "null") +
           ",\"episodios_abaixo\":" + std::to_string(s.low_episodes) +
           ",\"episodios_acima\":" + std::to_string(s.high_episodes) +
           ",\"segundos_fora_dos_limites\":" + std::to_string(s.seconds_outside) +
           ",\"saiu_dos_limites\":" + (s.left_limits() ? "true" : "false") + "}";
}

std::string JsonEpisodes(const AlarmSide& side, const char* which, int rate, bool known) {
    std::string json;
    for (const AlarmEpisode& e : side.episodes) {
        if (!json.empty()) {
            json += ",";
        }
        json += "{\"lado\":\"" + std::string(which) +
                "\",\"primeira_coleta\":" + std::to_string(e.first_number) +
                ",\"inicio\":" + JsonCalendar(known, e.first_time) +
                ",\"coletas\":" + std::to_string(e.readings) +
                ",\"segundos\":" + std::to_string(static_cast<long long>(e.readings) * rate) +
                ",\"extremo_c\":" + Number(e.extreme, 1) + "}";
    }
    return json;
}

}  // namespace

// ---- The chart ---------------------------------------------------------------------

std::string ChartSvg(const Recording& r) {
    constexpr int kWidth = 960;
    constexpr int kHeight = 400;
    constexpr int kLeft = 64;
    constexpr int kRight = 16;
    constexpr int kTop = 28;
    constexpr int kBottom = 72;
    constexpr int kPlotWidth = kWidth - kLeft - kRight;
    constexpr int kPlotHeight = kHeight - kTop - kBottom;
    static_assert(kPlotWidth == CHART_COLUMNS);
    const bool f = r.stats.fahrenheit;
    const auto shown = [&](double c) { return static_cast<double>(ct(static_cast<float>(c), f)); };
    const int n = static_cast<int>(r.tenths.size());

    double low = shown(r.stats.t_low);
    double high = shown(r.stats.t_high);
    double bottom = std::min(low, high);
    double top = std::max(low, high);
    if (n > 0) {
        bottom = std::min(bottom, shown(r.stats.minimum));
        top = std::max(top, shown(r.stats.maximum));
    }
    // Round steps: at most about eight grid lines.
    static const double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
    double step = 1000;
    for (const double s : kSteps) {
        if ((top - bottom) / s <= 8) {
            step = s;
            break;
        }
    }
    bottom = std::floor(bottom / step) * step;
    top = std::ceil(top / step) * step;
    if (top - bottom < step) {
        top = bottom + step;
    }
    const auto y = [&](double t) { return kTop + (top - t) * kPlotHeight / (top - bottom); };
    const auto x = [&](int i) {
        return n > 1 ? kLeft + static_cast<double>(i) * kPlotWidth / (n - 1) : kLeft;
    };
    const auto px = [](double v) { return Format("%.1f", v); };
    const std::string unit = f ? "°F" : "°C";

    std::string svg = "<svg class=\"grafico\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                      std::to_string(kWidth) + " " + std::to_string(kHeight) +
                      "\" role=\"img\" aria-labelledby=\"grafico-titulo\">\n"
                      "<title id=\"grafico-titulo\">Curva das leituras do cartão " +
                      std::to_string(r.upload.serial) + " (" + Html(r.upload.description) +
                      ")</title>\n";
    svg += "<rect class=\"area\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kTop) +
           "\" width=\"" + std::to_string(kPlotWidth) + "\" height=\"" +
           std::to_string(kPlotHeight) + "\"/>\n";
    // Temperature axis.
    for (double t = bottom; t <= top + step / 2; t += step) {
        const std::string yt = px(y(t));
        std::string label = Format(step < 1 ? "%.1f" : "%.0f", t);
        std::replace(label.begin(), label.end(), '.', ',');
        svg += "<line class=\"grade\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + yt +
               "\" x2=\"" + std::to_string(kLeft + kPlotWidth) + "\" y2=\"" + yt + "\"/>";
        svg += "<text class=\"eixo-y\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + yt +
               "\" dy=\"4\">" + label + "</text>\n";
    }
    svg += "<text class=\"titulo-eixo\" x=\"" + std::to_string(kLeft) +
           "\" y=\"16\" text-anchor=\"start\">Temperatura (" + unit + ")</text>\n";
    // Time axis: six labels at readings spread over the recording.
    const int labels = n > 1 ? 6 : n;
    for (int k = 0; k < labels; ++k) {
        const int i =
            labels > 1 ? static_cast<int>(static_cast<long long>(k) * (n - 1) / (labels - 1)) : 0;
        const std::string xt = px(x(i));
        const char* anchor = k == 0 ? "start" : k == labels - 1 ? "end" : "middle";
        svg += "<line class=\"grade\" x1=\"" + xt + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" +
               xt + "\" y2=\"" + std::to_string(kTop + kPlotHeight) + "\"/>";
        svg += "<text class=\"eixo-x\" text-anchor=\"" + std::string(anchor) + "\" x=\"" + xt +
               "\" y=\"" + std::to_string(kTop + kPlotHeight + 18) + "\">";
        if (r.times_known) {
            const CALENDAR c = ReadingTime(r, i);
            char date[32];
            char time[32];
            std::snprintf(date, sizeof date, "%02u/%02u/%04u", c.day, c.month, c.year);
            std::snprintf(time, sizeof time, "%02u:%02u", c.h, c.m);
            svg += "<tspan x=\"" + xt + "\">" + date + "</tspan><tspan x=\"" + xt +
                   "\" dy=\"15\">" + time + "</tspan>";
        } else {
            svg += "coleta " + std::to_string(i + 1);
        }
        svg += "</text>\n";
    }
    svg += "<text class=\"titulo-eixo\" x=\"" + std::to_string(kLeft + kPlotWidth / 2) + "\" y=\"" +
           std::to_string(kHeight - 6) + "\" text-anchor=\"middle\">" +
           (r.times_known ? "Data e hora (" + std::string(kTimeBase) + ")"
                          : std::string("Número da coleta")) +
           "</text>\n";
    // The two limits, dashed, named at their right end.
    const auto limit = [&](double t, const char* cls, const char* name, double dy) {
        const std::string yt = px(y(t));
        std::string value = Format("%.1f", t);
        std::replace(value.begin(), value.end(), '.', ',');
        svg += "<line class=\"limite " + std::string(cls) + "\" x1=\"" + std::to_string(kLeft) +
               "\" y1=\"" + yt + "\" x2=\"" + std::to_string(kLeft + kPlotWidth) + "\" y2=\"" + yt +
               "\"/>";
        svg += "<text class=\"rotulo-limite " + std::string(cls) + "\" x=\"" +
               std::to_string(kLeft + kPlotWidth - 4) + "\" y=\"" + yt + "\" dy=\"" +
               Format("%.0f", dy) + "\" text-anchor=\"end\">" + name + " " + value + " " + unit +
               "</text>\n";
    };
    limit(high, "superior", "Limite superior", -5);
    limit(low, "inferior", "Limite inferior", 14);
    // The curve: each pixel column's lowest and highest reading.
    if (n > 0) {
        std::string points;
        points.reserve(16 * 2 * CHART_COLUMNS);
        for (const int i : ChartPoints(r.tenths, kPlotWidth)) {
            if (!points.empty()) {
                points += ' ';
            }
            points += px(x(i)) + "," + px(y(shown(r.stats.readings[i])));
        }
        svg += "<polyline class=\"curva\" points=\"" + points + "\"/>\n";
    }
    return svg + "</svg>\n";
}

// ---- The view ----------------------------------------------------------------------

UploadSummary WebView::SummaryOf(const StoredUpload& upload) {
    {
        std::lock_guard lock(cache_mutex_);
        const auto found = summaries_.find(upload.id);
        if (found != summaries_.end()) {
            return found->second;
        }
    }
    const UploadSummary summary = Summarize(MakeRecording(upload, store_.Readings(upload.id)));
    std::lock_guard lock(cache_mutex_);
    if (summaries_.size() >= SUMMARY_CACHE_SIZE) {
        summaries_.clear();
    }
    summaries_.emplace(upload.id, summary);
    return summary;
}

WebResponse WebView::Home(long long page) {
    const long long total = store_.CardCount();
    const long long pages = PageCount(total, WEB_CARDS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string html = PageStart("Cartões", "<span>Cartões</span>");
    html += "<h1>Cartões</h1>\n";
    if (total == 0) {
        html +=
            "<p class=\"vazio\">Nenhum cartão enviou gravações ainda. Os cartões em modo "
            "nuvem enviam para a porta de coleta deste servidor.</p>\n";
        return Html200(html + PageEnd());
    }
    html += "<p>" + std::to_string(total) + (total == 1 ? " cartão enviou" : " cartões enviaram") +
            " gravações; o mais recente primeiro.</p>\n";
    html +=
        "<table class=\"lista\">\n<thead><tr><th>Serial</th><th>Descrição do último "
        "envio</th><th class=\"num\">Envios</th><th>Último envio (UTC)</th><th>Última "
        "gravação</th></tr></thead>\n<tbody>\n";
    for (const CardRow& card : store_.Cards((page - 1) * WEB_CARDS_PER_PAGE, WEB_CARDS_PER_PAGE)) {
        const UploadSummary s = SummaryOf(card.last);
        const std::string link = "/cards/" + std::to_string(card.serial);
        html += "<tr>" + Cell("<a href=\"" + link + "\">" + std::to_string(card.serial) + "</a>") +
                Cell(Description(card.last.description)) +
                Cell(std::to_string(card.uploads), "num") +
                Cell("<a href=\"/uploads/" + std::to_string(card.last.id) + "\">" +
                     Html(ReceivedText(card.last.received)) + "</a>") +
                Cell(LimitsBadge(s.left_limits())) + "</tr>\n";
    }
    html += "</tbody>\n</table>\n" + Pager("/", page, pages);
    html +=
        "<p class=\"dados\">Os mesmos dados em JSON: <a href=\"/api/cards\">/api/cards</a></p>\n";
    return Html200(html + PageEnd());
}

WebResponse WebView::CardPage(long serial, long long page) {
    const std::optional<CardRow> card = store_.Card(serial);
    if (!card) {
        return NotFound();
    }
    const long long pages = PageCount(card->uploads, WEB_UPLOADS_PER_PAGE);
    page = ClampPage(page, pages);
    const std::string number = std::to_string(serial);
    std::string html = PageStart("Cartão " + number,
                                 "<a href=\"/\">Cartões</a> › <span>Cartão " + number + "</span>");
    html += "<h1>Cartão " + number + " <small>" + Description(card->last.description) +
            "</small></h1>\n";
    html += "<p>" + std::to_string(card->uploads) + (card->uploads == 1 ? " envio" : " envios") +
            "; o mais recente primeiro.</p>\n";
    html +=
        "<table class=\"lista\">\n<thead><tr><th>Recebido (UTC)</th><th>Início "
        "(" +
        std::string(kTimeBase) + ")</th><th>Fim (" + kTimeBase +
        ")</th><th class=\"num\">Leituras</th><th class=\"num\">Intervalo</th>"
        "<th class=\"num\">Mínima</th><th class=\"num\">Máxima</th><th "
        "class=\"num\">Episódios abaixo</th><th class=\"num\">Episódios acima</th>"
        "<th class=\"num\">Tempo fora dos limites</th></tr></thead>\n<tbody>\n";
    for (const StoredUpload& u :
         store_.CardUploads(serial, (page - 1) * WEB_UPLOADS_PER_PAGE, WEB_UPLOADS_PER_PAGE)) {
        const UploadSummary s = SummaryOf(u);
        const bool f = u.temp_unit != 0;
        const bool timed = s.times_known && s.readings > 0;
        html += std::string(s.left_limits() ? "<tr class=\"fora\">" : "<tr>") +
                Cell("<a href=\"/uploads/" + std::to_string(u.id) + "\">" +
                     Html(ReceivedText(u.received)) + "</a>") +
                Cell(timed ? DateTime(s.first) : kUnknown) +
                Cell(timed ? DateTime(s.last) : kUnknown) +
                Cell(std::to_string(s.readings), "num") + Cell(IntervalText(u.sample_rate), "num") +
                Cell(s.readings > 0 ? Temp(s.minimum, f) : kUnknown, "num") +
                Cell(s.readings > 0 ? Temp(s.maximum, f) : kUnknown, "num") +
                Cell(std::to_string(s.low_episodes), "num") +
                Cell(std::to_string(s.high_episodes), "num") +
                Cell(SToHMinS(s.seconds_outside), "num") + "</tr>\n";
    }
    html += "</tbody>\n</table>\n" + Pager("/cards/" + number, page, pages);
    html += "<p class=\"dados\">Os mesmos dados em JSON: <a href=\"/api/cards/" + number +
            "\">/api/cards/" + number + "</a></p>\n";
    return Html200(html + PageEnd());
}

namespace {

std::string AlarmBlock(const AlarmSide& side, const char* title, int rate, bool known) {
    std::string html = "<div class=\"bloco\"><h3>" + std::string(title) + "</h3><dl>";
    html += "<dt>Ocorreu</dt><dd>" + std::string(side.ocorrencias > 0 ? "Sim" : "Não") + "</dd>";
    html += "<dt>Duração total</dt><dd>" +
            SToHMinS(static_cast<long long>(side.ocorrencias) * rate) + "</dd>";
    html += "<dt>Total de coletas</dt><dd>" + std::to_string(side.ocorrencias) + "</dd>";
    if (side.ocorrencias > 0) {
        html += "<dt>Primeiro evento</dt><dd>" +
                (known ? DateTime(side.extreme_trigged) : std::string(kUnknown)) + "</dd>";
        html += "<dt>Maior tempo</dt><dd>" +
                SToHMinS(static_cast<long long>(side.maior_ocorrencia) * rate) + ", desde " +
                (known ? DateTime(side.maior_ocorrencia_trigged) + ", " : std::string()) +
                "coleta nº " + std::to_string(side.maior_ocorrencia_id) + "</dd>";
    }
    return html + "</dl></div>\n";
}

}  // namespace

WebResponse WebView::UploadPage(long long id, long long page) {
    std::optional<StoredUpload> upload = store_.Upload(id);
    if (!upload) {
        return NotFound();
    }
    const Recording r = MakeRecording(std::move(*upload), store_.Readings(id));
    const StoredUpload& u = r.upload;
    const GraphReportValues& v = r.stats;
    const bool f = v.fahrenheit;
    const int n = static_cast<int>(r.tenths.size());
    const bool timed = r.times_known && n > 0;
    const std::string serial = std::to_string(u.serial);
    const std::string self = "/uploads/" + std::to_string(u.id);

    std::string html =
        PageStart("Envio " + std::to_string(u.id) + " do cartão " + serial,
                  "<a href=\"/\">Cartões</a> › <a href=\"/cards/" + serial + "\">Cartão " + serial +
                      "</a> › <span>Envio " + std::to_string(u.id) + "</span>");
    html += "<h1>Cartão " + serial + " <small>" + Description(u.description) + "</small></h1>\n";
    html += "<p>" + std::string(LimitsBadge(!v.low.episodes.empty() || !v.high.episodes.empty())) +
            " Recebido em " + Html(ReceivedText(u.received)) + " UTC de " + Html(u.peer) +
            ". Baixar: <a href=\"" + self + ".csv\">leituras em CSV</a> · <a href=\"/api" + self +
            "\">JSON</a></p>\n";

    html += "<div class=\"colunas\">\n<section><h2>Configurações</h2><dl>";
    const auto item = [&](const std::string& name, const std::string& value) {
        html += "<dt>" + name + "</dt><dd>" + value + "</dd>";
    };
    item("Temperatura inferior para alarme", Temp(v.t_low, f));
    item("Temperatura superior para alarme", Temp(v.t_high, f));
    item("Atraso para disparo do alarme", SToHMinS(u.alarm_delay));
    item("Atraso para início", SToHMinS(u.start_delay));
    item("Intervalo entre medições", IntervalText(u.sample_rate));
    item("Pontos configurados", std::to_string(u.sample_points));
    item("Unidade", f ? "°F" : "°C");
    item("Firmware / software", Html(u.firmware) + " / " + Html(u.software));
    html += "</dl></section>\n<section><h2>Resumo de registros</h2><dl>";
    item("Primeiro", timed ? DateTime(v.first_time) : kUnknown);
    item("Último", timed ? DateTime(v.last_time) : kUnknown);
    item("Total de coletas registradas", std::to_string(n));
    if (!r.times_known) {
        item("Horários", "desconhecidos: o envio traz uma data inválida");
    }
    html += "</dl></section>\n<section><h2>Estatísticas</h2><dl>";
    if (n > 0) {
        item("Menor temperatura", Temp(v.minimum, f) + "<br><small>" +
                                      (timed ? DateTime(v.minimum_time) + ", " : std::string()) +
                                      "coleta nº " + std::to_string(v.minimum_number) + "</small>");
        item("Maior temperatura", Temp(v.maximum, f) + "<br><small>" +
                                      (timed ? DateTime(v.maximum_time) + ", " : std::string()) +
                                      "coleta nº " + std::to_string(v.maximum_number) + "</small>");
        item("Média", Temp(v.mean, f));
        item("Desvio padrão", Spread(v.deviation, f));
        item("Temperatura cinética média (MKT)", Temp(v.mkt, f));
    } else {
        item("Leituras", "nenhuma");
    }
    html += "</dl></section>\n</div>\n";

    html += "<h2>Alarmes</h2>\n<div class=\"colunas\">" +
            AlarmBlock(v.low, "Alarme inferior", u.sample_rate, timed) +
            AlarmBlock(v.high, "Alarme superior", u.sample_rate, timed) + "</div>\n";
    html +=
        "<p class=\"nota\">Contam como alarme as coletas fora dos limites depois do atraso "
        "para disparo, como no relatório gráfico. Tempo total fora dos limites: " +
        SToHMinS(SecondsOutside(v)) + ".</p>\n";
    std::vector<std::pair<const AlarmEpisode*, bool>> episodes;
    for (const AlarmEpisode& e : v.low.episodes) {
        episodes.emplace_back(&e, true);
    }
    for (const AlarmEpisode& e : v.high.episodes) {
        episodes.emplace_back(&e, false);
    }
    std::sort(episodes.begin(), episodes.end(), [](const auto& a, const auto& b) {
        return a.first->first_number < b.first->first_number;
    });
    if (!episodes.empty()) {
        html +=
            "<table class=\"lista\">\n<thead><tr><th>Episódio</th><th>Lado</th><th>Início "
            "(" +
            std::string(kTimeBase) +
            ")</th><th class=\"num\">Coleta nº</th>"
            "<th class=\"num\">Coletas</th><th class=\"num\">Duração</th>"
            "<th class=\"num\">Extremo</th></tr></thead>\n<tbody>\n";
        int k = 0;
        for (const auto& [e, low] : episodes) {
            html += "<tr>" + Cell(std::to_string(++k)) +
                    Cell(low ? "abaixo do limite" : "acima do limite") +
                    Cell(timed ? DateTime(e->first_time) : kUnknown) +
                    Cell(std::to_string(e->first_number), "num") +
                    Cell(std::to_string(e->readings), "num") +
                    Cell(SToHMinS(static_cast<long long>(e->readings) * u.sample_rate), "num") +
                    Cell(Temp(e->extreme, f), "num") + "</tr>\n";
        }
        html += "</tbody>\n</table>\n";
    } else {
        html += "<p>Nenhum episódio de alarme.</p>\n";
    }

    html += "<h2>Gráfico</h2>\n<figure>" + ChartSvg(r) + "</figure>\n";

    const long long pages = PageCount(n, WEB_READINGS_PER_PAGE);
    page = ClampPage(page, pages);
    const int first = static_cast<int>((page - 1) * WEB_READINGS_PER_PAGE);
    const int end = std::min(n, first + WEB_READINGS_PER_PAGE);
    html += "<h2 id=\"leituras\">Leituras</h2>\n";
    html += Pager(self, page, pages, "#leituras");
    html +=
        "<table class=\"lista leituras\">\n<thead><tr><th class=\"num\">Nº</th><th>Data e "
        "hora (" +
        std::string(kTimeBase) +
        ")</th><th class=\"num\">Temperatura</th>"
        "<th>Situação</th></tr></thead>\n<tbody>\n";
    CALENDAR time = timed ? ReadingTime(r, first) : ZERO_CALENDAR;
    const auto rate = static_cast<unsigned long>(u.sample_rate > 0 ? u.sample_rate : 0);
    for (int i = first; i < end; ++i) {
        if (i > first && timed) {
            AdvanceCalendar(time, rate);
        }
        const float t = v.readings[i];
        const LimitSide side = SideOfLimits(t, v.t_low, v.t_high);
        const bool below = side == LimitSide::Below;
        const bool above = side == LimitSide::Above;
        html += std::string(below || above ? "<tr class=\"fora\">" : "<tr>") +
                Cell(std::to_string(i + 1), "num") + Cell(timed ? DateTime(time) : kUnknown) +
                Cell(Temp(t, f), "num") +
                Cell(below   ? "▼ abaixo do limite"
                     : above ? "▲ acima do limite"
                             : "") +
                "</tr>\n";
    }
    html += "</tbody>\n</table>\n" + Pager(self, page, pages, "#leituras");
    return Html200(html + PageEnd());
}

WebResponse WebView::UploadCsv(long long id) {
    std::optional<StoredUpload> upload = store_.Upload(id);
    if (!upload) {
        return NotFound();
    }
    const Recording r = MakeRecording(std::move(*upload), store_.Readings(id));
    const StoredUpload& u = r.upload;
    const std::string low = TenthsText(u.low_alarm_x10);
    const std::string high = TenthsText(u.high_alarm_x10);
    const std::string tail = "," + std::to_string(u.serial) + "," + CsvText(u.description) + "\r\n";
    std::string csv =
        "numero,data_hora,temperatura_c,limite_inferior_c,limite_superior_c,serial,descricao\r\n";
    csv.reserve(csv.size() + r.tenths.size() * (40 + tail.size()));
    const bool timed = r.times_known;
    CALENDAR time = r.start;
    const auto rate = static_cast<unsigned long>(u.sample_rate > 0 ? u.sample_rate : 0);
    for (std::size_t i = 0; i < r.tenths.size(); ++i) {
        csv += std::to_string(i + 1) + ",";
        if (timed) {
            AdvanceCalendar(time, rate);
            csv += CsvTime(time);
        }
        csv += "," + TenthsText(r.tenths[i]) + "," + low + "," + high + tail;
    }
    WebResponse response{200, "text/csv; charset=utf-8; header=present", std::move(csv), ""};
    response.download_name =
        "razurozavi-" + std::to_string(u.serial) + "-" + std::to_string(u.id) + ".csv";
    return response;
}

WebResponse WebView::ApiCards(long long page) {
    const long long total = store_.CardCount();
    const long long pages = PageCount(total, WEB_API_ROWS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string json = "{\"pagina\":" + std::to_string(page) +
                       ",\"paginas\":" + std::to_string(pages) +
                       ",\"total\":" + std::to_string(total) + ",\"cartoes\":[";
    bool first = true;
    for (const CardRow& card :
         store_.Cards((page - 1) * WEB_API_ROWS_PER_PAGE, WEB_API_ROWS_PER_PAGE)) {
        json += first ? "" : ",";
        first = false;
        json += "{\"serial\":" + std::to_string(card.serial) +
                ",\"envios\":" + std::to_string(card.uploads) +
                ",\"ultimo_envio\":" + JsonSummary(card.last, SummaryOf(card.last)) + "}";
    }
    return Json200(json + "]}\n");
}

WebResponse WebView::ApiCard(long serial, long long page) {
    const std::optional<CardRow> card = store_.Card(serial);
    if (!card) {
        return NotFound();
    }
    const long long pages = PageCount(card->uploads, WEB_API_ROWS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string json = "{\"serial\":" + std::to_string(serial) +
                       ",\"pagina\":" + std::to_string(page) +
                       ",\"paginas\":" + std::to_string(pages) +
                       ",\"total\":" + std::to_string(card->uploads) + ",\"envios\":[";
    bool first = true;
    for (const StoredUpload& u :
         store_.CardUploads(serial, (page - 1) * WEB_API_ROWS_PER_PAGE, WEB_API_ROWS_PER_PAGE)) {
        json += first ? "" : ",";
        first = false;
        json += JsonSummary(u, SummaryOf(u));
    }
    return Json200(json + "]}\n");
}

WebResponse WebView::ApiUpload(long long id) {
    std::optional<StoredUpload> upload = store_.Upload(id);
    if (!upload) {
        return NotFound();
    }
    const Recording r = MakeRecording(std::move(*upload), store_.Readings(id));
    const StoredUpload& u = r.upload;
    const GraphReportValues& v = r.stats;
    const int n = static_cast<int>(r.tenths.size());
    const bool timed = r.times_known && n > 0;
    std::string json = "{\"id\":" + std::to_string(u.id) +
                       ",\"serial\":" + std::to_string(u.serial) +
                       ",\"descricao\":" + JsonString(u.description) +
                       ",\"recebido\":" + JsonString(ReceivedIso(u.received)) +
                       ",\"origem\":" + JsonString(u.peer);
    json += ",\"configuracao\":{\"limite_inferior_c\":" + TenthsText(u.low_alarm_x10) +
            ",\"limite_superior_c\":" + TenthsText(u.high_alarm_x10) +
            ",\"atraso_alarme_s\":" + std::to_string(u.alarm_delay) +
            ",\"atraso_inicio_s\":" + std::to_string(u.start_delay) +
            ",\"intervalo_s\":" + std::to_string(u.sample_rate) +
            ",\"pontos\":" + std::to_string(u.sample_points) + ",\"unidade\":\"" +
            (u.temp_unit != 0 ? "F" : "C") + "\",\"firmware\":" + JsonString(u.firmware) +
            ",\"software\":" + JsonString(u.software) + "}";
    json += ",\"fuso\":\"" + std::string(kIsoOffset) +
            "\",\"horarios_conhecidos\":" + (r.times_known ? "true" : "false");
    json += ",\"estatisticas\":{\"leituras\":" + std::to_string(n);
    if (n > 0) {
        json += ",\"primeira\":" + JsonCalendar(timed, v.first_time) +
                ",\"ultima\":" + JsonCalendar(timed, v.last_time) +
                ",\"minima_c\":" + Number(v.minimum, 1) +
                ",\"minima_coleta\":" + std::to_string(v.minimum_number) +
                ",\"maxima_c\":" + Number(v.maximum, 1) +
                ",\"maxima_coleta\":" + std::to_string(v.maximum_number) +
                ",\"media_c\":" + Number(v.mean, 2) +
                ",\"desvio_padrao_c\":" + Number(v.deviation, 2) + ",\"mkt_c\":" + Number(v.mkt, 2);
    }
    json += ",\"coletas_abaixo\":" + std::to_string(v.low.ocorrencias) +
            ",\"coletas_acima\":" + std::to_string(v.high.ocorrencias) +
            ",\"segundos_fora_dos_limites\":" + std::to_string(SecondsOutside(v)) + "}";
    const std::string low = JsonEpisodes(v.low, "abaixo", u.sample_rate, timed);
    const std::string high = JsonEpisodes(v.high, "acima", u.sample_rate, timed);
    json += ",\"episodios\":[" + low + (!low.empty() && !high.empty() ? "," : "") + high + "]";
    json += ",\"leituras\":[";
    json.reserve(json.size() + r.tenths.size() * 64);
    CALENDAR time = r.start;
    const auto rate = static_cast<unsigned long>(u.sample_rate > 0 ? u.sample_rate : 0);
    for (int i = 0; i < n; ++i) {
        AdvanceCalendar(time, rate);
        json +=
            (i == 0 ? "{\"n\":" : ",{\"n\":") + std::to_string(i + 1) +
            ",\"hora\":" + JsonCalendar(timed, time) +
            ",\"temperatura_c\":" + TenthsText(r.tenths[i]) +
            (OutsideLimits(r.tenths[i], u.low_alarm_x10, u.high_alarm_x10) ? ",\"fora\":true}"
                                                                           : ",\"fora\":false}");
    }
    return Json200(json + "]}\n");
}

WebResponse WebView::Stylesheet() {
    static const char* const kCss = R"CSS(
:root { --tinta: #1d2733; --suave: #5b6673; --linha: #d5dbe1; --fundo: #f6f8fa;
  --fora: #b3261e; --fora-fundo: #fdecea; --dentro: #1b6e3a; --dentro-fundo: #e6f4ea;
  --frio: #1f5fbf; }
* { box-sizing: border-box; }
body { margin: 0; font-family: "Liberation Sans", "DejaVu Sans", Arial, Helvetica, sans-serif;
  color: var(--tinta); background: #fff; font-size: 15px; line-height: 1.45; }
header { background: #17324d; color: #fff; padding: .6em 1.2em; }
header .marca { color: #fff; font-weight: bold; text-decoration: none; margin-right: .8em; }
header span { color: #c9d6e3; }
nav.trilha { padding: .5em 1.2em; background: var(--fundo); border-bottom: 1px solid var(--linha); }
main { padding: .5em 1.2em 2em; max-width: 1200px; }
footer { padding: 1em 1.2em; color: var(--suave); font-size: 13px; border-top: 1px solid var(--linha); }
h1 small { font-weight: normal; color: var(--suave); margin-left: .4em; }
h2 { margin-top: 1.4em; border-bottom: 1px solid var(--linha); padding-bottom: .2em; }
h3 { margin: .2em 0 .4em; font-size: 1em; }
a { color: #1f5fbf; }
table.lista { border-collapse: collapse; width: 100%; margin: .5em 0; }
table.lista th, table.lista td { border-bottom: 1px solid var(--linha); padding: .3em .6em;
  text-align: left; vertical-align: top; }
table.lista th { background: var(--fundo); font-weight: bold; }
table.lista .num { text-align: right; white-space: nowrap; }
table.lista tr.fora td { background: var(--fora-fundo); }
table.leituras { width: auto; min-width: 32em; }
.selo { display: inline-block; padding: .05em .5em; border-radius: .8em; font-size: 13px;
  white-space: nowrap; }
.selo.fora { background: var(--fora-fundo); color: var(--fora); border: 1px solid var(--fora); }
.selo.dentro { background: var(--dentro-fundo); color: var(--dentro); border: 1px solid var(--dentro); }
.vazio, .nota, .dados { color: var(--suave); }
.colunas { display: flex; flex-wrap: wrap; gap: 0 2.5em; }
.colunas section, .colunas .bloco { min-width: 18em; }
dl { display: grid; grid-template-columns: auto auto; gap: .15em 1em; margin: .3em 0; }
dt { color: var(--suave); }
dd { margin: 0; }
nav.paginas { margin: .5em 0; }
nav.paginas a, nav.paginas span { margin-right: .6em; }
figure { margin: .5em 0; }
svg.grafico { width: 100%; max-width: 960px; height: auto; display: block;
  font-family: "Liberation Sans", "DejaVu Sans", Arial, Helvetica, sans-serif; }
svg.grafico .area { fill: #fbfcfd; stroke: #9aa5b1; stroke-width: 1; }
svg.grafico .grade { stroke: #e3e8ed; stroke-width: 1; }
svg.grafico .eixo-y { font-size: 12px; text-anchor: end; fill: var(--tinta); }
svg.grafico .eixo-x { font-size: 12px; fill: var(--tinta); }
svg.grafico .titulo-eixo { font-size: 13px; fill: var(--suave); }
svg.grafico .limite { stroke-width: 1.5; stroke-dasharray: 6 4; }
svg.grafico .limite.superior { stroke: var(--fora); }
svg.grafico .limite.inferior { stroke: var(--frio); }
svg.grafico .rotulo-limite { font-size: 12px; }
svg.grafico .rotulo-limite.superior { fill: var(--fora); }
svg.grafico .rotulo-limite.inferior { fill: var(--frio); }
svg.grafico .curva { fill: none; stroke: #17324d; stroke-width: 1.3; stroke-linejoin: round; }
)CSS";
    return {200, "text/css; charset=utf-8", std::string(kCss + 1), ""};
}

WebResponse WebView::NotFound() {
    return {404, kHtml,
            PageStart("Não encontrado", "<a href=\"/\">Cartões</a>") +
                "<h1>Não encontrado</h1>\n<p>Não há nada neste endereço.</p>\n" + PageEnd(),
            ""};
}

WebResponse WebView::Unauthorized() {
    return {401, "text/plain; charset=utf-8", "Acesso restrito: informe usuário e senha.\n", ""};
}

WebResponse WebView::BadRequest() {
    return {400, "text/plain; charset=utf-8", "Pedido inválido.\n", ""};
}
