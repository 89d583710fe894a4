#include "web_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "web_chart.h"
#include "web_escape.h"
#include "web_format.h"

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kUnknown = "—";

// ---- HTML pieces -------------------------------------------------------------------

std::string PageStart(const std::string& title, const std::string& crumbs) {
    return "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           Html(title) +
           " — RazuRozavi</title>\n<link rel=\"stylesheet\" href=\"/estilo.css\">\n"
           "<link rel=\"icon\" href=\"/icone.svg\" type=\"image/svg+xml\">\n</head>\n"
           "<body>\n<header><a class=\"marca\" href=\"/\">RazuRozavi</a> "
           "<span>Servidor de coleta KELTRIX</span> <nav class=\"paginas\" aria-label=\"Páginas\">"
           "<a href=\"/alertas\">Alertas</a><a href=\"/auditoria\">Auditoria</a></nav>"
           "</header>\n<nav class=\"trilha\" "
           "aria-label=\"Trilha\">" +
           crumbs + "</nav>\n<main>\n";
}

std::string PageEnd() {
    return "</main>\n<footer>Somente leitura. Horários das leituras em " + std::string(kTimeBase) +
           " (horário de Brasília), como o cartão os envia; horários de recebimento em "
           "UTC.</footer>\n</body>\n</html>\n";
}

// `label` names the navigation landmark, unique on its page.
std::string Pager(const std::string& base, long long page, long long pages, const char* label,
                  const std::string& anchor = "") {
    if (pages <= 1) {
        return "";
    }
    const auto link = [&](long long to, const char* label) {
        return "<a href=\"" + base + "?pagina=" + std::to_string(to) + anchor + "\">" + label +
               "</a>";
    };
    std::string html = "<nav class=\"paginas\" aria-label=\"" + std::string(label) + "\">";
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

// A table that scrolls sideways in its own box on a narrow screen; the box takes the
// keyboard's focus so that it can be scrolled without a pointer.
std::string ScrollBox(const char* label) {
    return "<div class=\"rolagem\" role=\"region\" tabindex=\"0\" aria-label=\"" +
           std::string(label) + "\">\n";
}

std::string VerdictBadge(bool approved) {
    return std::string(approved ? "<span class=\"selo dentro\">" : "<span class=\"selo fora\">") +
           VerdictText(approved) + "</span>";
}

std::string IntegrityBlock(const StoredUpload& u, bool verified) {
    return std::string("<p class=\"integridade\">") +
           (verified ? "<span class=\"selo dentro\">Verificado</span> Leituras e configurações "
                       "conferem com o SHA-256 guardado no recebimento, e o envio com a cadeia "
                       "dos anteriores."
                     : "<span class=\"selo fora\">Alterado</span> Leituras, configurações ou a "
                       "cadeia de envios não conferem com o SHA-256 guardado no recebimento.") +
           "<br>SHA-256: <code class=\"hash\">" +
           (u.sha256.empty() ? std::string(kUnknown) : Html(u.sha256)) + "</code></p>\n";
}

WebResponse Html200(std::string body) {
    return {200, kHtml, std::move(body), ""};
}

std::string AlertState(const StoredAlert& a) {
    if (a.sent) {
        return "<span class=\"selo dentro\">enviado</span> " + Html(UtcText(*a.sent));
    }
    if (a.attempts == 0) {
        return "<span class=\"selo pendente\">a enviar</span>";
    }
    return "<span class=\"selo fora\">" + std::to_string(a.attempts) +
           (a.attempts == 1 ? " tentativa falhou" : " tentativas falharam") + "</span> <small>" +
           Html(a.last_error) + "</small>";
}

}  // namespace

UploadSummary WebView::SummaryOf(const StoredUpload& upload) {
    {
        std::lock_guard lock(cache_mutex_);
        const auto found = summaries_.find(upload.id);
        if (found != summaries_.end()) {
            return found->second;
        }
    }
    const Recording recording = MakeRecording(upload, store_.Readings(upload.id));
    UploadSummary summary = Summarize(recording);
    summary.approved = VerdictOf(recording).approved;
    std::lock_guard lock(cache_mutex_);
    if (summaries_.size() >= SUMMARY_CACHE_SIZE) {
        summaries_.clear();
    }
    summaries_.emplace(upload.id, summary);
    return summary;
}

RecordingSummary WebView::VerdictOf(const Recording& r) const {
    const StoredUpload& u = r.upload;
    RecordingSummary s = SummarizeTenths(r.tenths, u.low_alarm_x10, u.high_alarm_x10, u.sample_rate,
                                         u.alarm_delay, r.start, profile_);
    s.serial = u.serial;
    s.stats.serial = u.serial;
    s.description = u.description;
    return s;
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
            " gravações; o mais recente primeiro. Veredito pelo perfil " + Html(profile_.name) +
            ".</p>\n";
    html += ScrollBox("Tabela de cartões") +
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
                Cell(LimitsBadge(s.left_limits()) + " " + VerdictBadge(s.approved)) + "</tr>\n";
    }
    html += "</tbody>\n</table>\n</div>\n" + Pager("/", page, pages, "Páginas de cartões");
    html +=
        "<p class=\"dados\">Os mesmos dados em JSON: <a "
        "href=\"/api/v1/cards\">/api/v1/cards</a></p>\n";
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
            "; o mais recente primeiro. Veredito pelo perfil " + Html(profile_.name) + ".</p>\n";
    const std::vector<StoredAlert> open =
        alerts_ != nullptr ? alerts_->OpenAlerts(serial) : std::vector<StoredAlert>();
    if (!open.empty()) {
        html += "<h2>Alertas abertos</h2>\n<ul class=\"alertas\">\n";
        for (const StoredAlert& a : open) {
            html += "<li>" + Html(a.message) + " <small>(" + Html(a.channel) + ")</small> " +
                    AlertState(a) + "</li>\n";
        }
        html += "</ul>\n";
    }
    html += ScrollBox("Tabela de envios") +
            "<table class=\"lista\">\n<thead><tr><th>Recebido (UTC)</th><th>Início "
            "(" +
            std::string(kTimeBase) + ")</th><th>Fim (" + kTimeBase +
            ")</th><th class=\"num\">Leituras</th><th class=\"num\">Intervalo</th>"
            "<th class=\"num\">Mínima</th><th class=\"num\">Máxima</th><th "
            "class=\"num\">Episódios abaixo</th><th class=\"num\">Episódios acima</th>"
            "<th class=\"num\">Tempo fora dos limites</th><th>Veredito</th></tr></thead>\n"
            "<tbody>\n";
    for (const StoredUpload& u :
         store_.CardUploads(serial, (page - 1) * WEB_UPLOADS_PER_PAGE, WEB_UPLOADS_PER_PAGE)) {
        const UploadSummary s = SummaryOf(u);
        const bool f = u.temp_unit != 0;
        const bool timed = s.times_known && s.readings > 0;
        html +=
            std::string(s.left_limits() ? "<tr class=\"fora\">" : "<tr>") +
            Cell("<a href=\"/uploads/" + std::to_string(u.id) + "\">" +
                 Html(ReceivedText(u.received)) + "</a>") +
            Cell(timed ? DateTime(s.first) : kUnknown) + Cell(timed ? DateTime(s.last) : kUnknown) +
            Cell(std::to_string(s.readings), "num") + Cell(IntervalText(u.sample_rate), "num") +
            Cell(s.readings > 0 ? Temp(s.minimum, f) : kUnknown, "num") +
            Cell(s.readings > 0 ? Temp(s.maximum, f) : kUnknown, "num") +
            Cell(std::to_string(s.low_episodes), "num") +
            Cell(std::to_string(s.high_episodes), "num") +
            Cell(SToHMinS(s.seconds_outside), "num") + Cell(VerdictBadge(s.approved)) + "</tr>\n";
    }
    html += "</tbody>\n</table>\n</div>\n" +
            Pager("/cards/" + number, page, pages, "Páginas de envios");
    html += "<p class=\"dados\">Os mesmos dados em JSON: <a href=\"/api/v1/cards/" + number +
            "\">/api/v1/cards/" + number + "</a></p>\n";
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

// A rule's measured value: a duration, or a mean kinetic temperature.
std::string RuleValue(const RuleOutcome& outcome, bool fahrenheit) {
    if (!outcome.value) {
        return kUnknown;
    }
    return outcome.rule.kind == RuleKind::Mkt
               ? Temp(*outcome.value, fahrenheit)
               : SToHMinS(static_cast<long long>(std::llround(*outcome.value)));
}

std::string VerdictSection(const RecordingSummary& s, bool fahrenheit) {
    std::string html = "<h2>Veredito</h2>\n<p>" + VerdictBadge(s.approved) + " pelo perfil " +
                       Html(s.profile) + " (" + std::to_string(s.rules.size()) +
                       (s.rules.size() == 1 ? " regra" : " regras") + ").</p>\n";
    if (s.rules.empty()) {
        return html;
    }
    html += ScrollBox("Tabela de regras") +
            "<table class=\"lista\">\n<thead><tr><th>Regra</th><th>Resultado</th>"
            "<th class=\"num\">Medido</th></tr></thead>\n<tbody>\n";
    for (const RuleOutcome& outcome : s.rules) {
        html += std::string(outcome.passed ? "<tr>" : "<tr class=\"fora\">") +
                Cell(Html(outcome.rule.name)) + Cell(outcome.passed ? "cumprida" : "violada") +
                Cell(RuleValue(outcome, fahrenheit), "num") + "</tr>\n";
    }
    return html + "</tbody>\n</table>\n</div>\n";
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
            ". Baixar: <a href=\"" + self + ".csv\">leituras em CSV</a> · <a href=\"/api/v1" +
            self + "\">JSON</a></p>\n";
    html += IntegrityBlock(u, Verified(u, r.tenths));

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

    html += VerdictSection(VerdictOf(r), f);

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
        html += ScrollBox("Tabela de episódios") +
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
        html += "</tbody>\n</table>\n</div>\n";
    } else {
        html += "<p>Nenhum episódio de alarme.</p>\n";
    }

    html += "<h2>Gráfico</h2>\n<figure>" + ChartSvg(r) + ChartSvg(r, NARROW_CHART) + "</figure>\n";

    const long long pages = PageCount(n, WEB_READINGS_PER_PAGE);
    page = ClampPage(page, pages);
    const int first = static_cast<int>((page - 1) * WEB_READINGS_PER_PAGE);
    const int end = std::min(n, first + WEB_READINGS_PER_PAGE);
    html += "<h2 id=\"leituras\">Leituras</h2>\n";
    html += Pager(self, page, pages, "Páginas de leituras, no alto", "#leituras");
    html += ScrollBox("Tabela de leituras") +
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
    html += "</tbody>\n</table>\n</div>\n" +
            Pager(self, page, pages, "Páginas de leituras, embaixo", "#leituras");
    return Html200(html + PageEnd());
}

bool WebView::Verified(const StoredUpload& upload, const std::vector<int>& tenths) {
    return UploadHolds(upload, tenths, store_.LinkBefore(upload.id));
}

WebResponse WebView::AuditPage(long long page) {
    const long long total = store_.LoginCount();
    const long long pages = PageCount(total, WEB_LOGINS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string html = PageStart("Auditoria", "<a href=\"/\">Cartões</a> › <span>Auditoria</span>");
    html += "<h1>Auditoria</h1>\n";
    if (total == 0) {
        html += "<p class=\"vazio\">Nenhuma entrada com senha registrada.</p>\n";
        return Html200(html + PageEnd());
    }
    html += "<p>" + std::to_string(total) +
            (total == 1 ? " entrada com senha registrada" : " entradas com senha registradas") +
            "; a mais recente primeiro.</p>\n";
    html += ScrollBox("Tabela de entradas") +
            "<table class=\"lista\">\n<thead><tr><th>Quando (UTC)</th><th>Usuário</th>"
            "<th>Endereço</th><th>Resultado</th></tr></thead>\n<tbody>\n";
    for (const WebLogin& login :
         store_.Logins((page - 1) * WEB_LOGINS_PER_PAGE, WEB_LOGINS_PER_PAGE)) {
        html += std::string(login.success ? "<tr>" : "<tr class=\"fora\">") +
                Cell(Html(ReceivedText(login.time))) + Cell(Html(login.user)) +
                Cell(Html(login.address)) +
                Cell(login.success ? "<span class=\"selo dentro\">aceita</span>"
                                   : "<span class=\"selo fora\">recusada</span>") +
                "</tr>\n";
    }
    html +=
        "</tbody>\n</table>\n</div>\n" + Pager("/auditoria", page, pages, "Páginas de entradas");
    return Html200(html + PageEnd());
}

WebResponse WebView::AlertsPage(long long page) {
    const long long total = alerts_ != nullptr ? alerts_->AlertCount() : 0;
    const long long pages = PageCount(total, WEB_ALERTS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string html = PageStart("Alertas", "<a href=\"/\">Cartões</a> › <span>Alertas</span>");
    html += "<h1>Alertas</h1>\n";
    if (total == 0) {
        html += "<p class=\"vazio\">Nenhum alerta.</p>\n";
        return Html200(html + PageEnd());
    }
    html += "<p>" + std::to_string(total) + (total == 1 ? " alerta" : " alertas") +
            ", um por canal; o mais recente primeiro.</p>\n";
    html += ScrollBox("Tabela de alertas") +
            "<table class=\"lista alertas\">\n<thead><tr><th>Criado (UTC)</th><th>Cartão</th>"
            "<th>Regra</th><th>Canal</th><th>Entrega</th><th>Alerta</th></tr></thead>\n"
            "<tbody>\n";
    for (const StoredAlert& a :
         alerts_->Alerts((page - 1) * WEB_ALERTS_PER_PAGE, WEB_ALERTS_PER_PAGE)) {
        const std::string serial = std::to_string(a.serial);
        html += std::string(a.sent ? "<tr>" : "<tr class=\"fora\">") +
                Cell(Html(UtcText(a.created))) +
                Cell("<a href=\"/cards/" + serial + "\">" + serial + "</a>") + Cell(Html(a.rule)) +
                Cell(Html(a.channel)) + Cell(AlertState(a)) + Cell(Html(a.message)) + "</tr>\n";
    }
    html += "</tbody>\n</table>\n</div>\n" + Pager("/alertas", page, pages, "Páginas de alertas");
    return Html200(html + PageEnd());
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

WebResponse WebView::TooManyTries() {
    return {429, "text/plain; charset=utf-8",
            "Senhas erradas demais deste endereço: tente de novo em um minuto.\n", ""};
}

WebResponse WebView::BadRequest() {
    return {400, "text/plain; charset=utf-8", "Pedido inválido.\n", ""};
}
