#include "web_escape.h"
#include "web_format.h"
#include "web_pages.h"

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

WebResponse Json200(std::string body) {
    return {200, kJson, std::move(body), ""};
}

// Every answer opens with the version.
std::string JsonStart() {
    return "{\"versao\":" + std::to_string(WEB_API_VERSION) + ",";
}

// The summary command's object; its first and last reading's time are null when the
// upload's stamp gives no times, rather than times made up from nothing.
std::string ResumoJson(const RecordingSummary& summary, bool times_known) {
    std::string json = SummaryJson(summary);
    if (!json.empty() && json.back() == '\n') {
        json.pop_back();
    }
    for (const std::string key : {"\"first\":\"", "\"last\":\""}) {
        const std::size_t at = json.find(key);
        if (!times_known && at != std::string::npos) {
            const std::size_t value = at + key.size() - 1;
            json.replace(value, json.find('"', value + 1) + 1 - value, "null");
        }
    }
    return json;
}

WebResponse ApiNotFound() {
    return WebView::ApiError(404, "Não há nada neste endereço.");
}

// ---- JSON pieces -------------------------------------------------------------------

std::string JsonCalendar(bool known, const CALENDAR& c) {
    return known ? WebJsonString(IsoTime(c)) : "null";
}

std::string JsonSummary(const StoredUpload& u, const UploadSummary& s) {
    return "{\"id\":" + std::to_string(u.id) + ",\"serial\":" + std::to_string(u.serial) +
           ",\"descricao\":" + WebJsonString(u.description) +
           ",\"recebido\":" + WebJsonString(ReceivedIso(u.received)) +
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
           ",\"saiu_dos_limites\":" + (s.left_limits() ? "true" : "false") + ",\"veredito\":\"" +
           VerdictText(s.approved) + "\"}";
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

WebResponse WebView::ApiCards(long long page) {
    const long long total = store_.CardCount();
    const long long pages = PageCount(total, WEB_API_ROWS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string json = JsonStart() + "\"perfil\":" + WebJsonString(profile_.name) +
                       ",\"pagina\":" + std::to_string(page) +
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
        return ApiNotFound();
    }
    const long long pages = PageCount(card->uploads, WEB_API_ROWS_PER_PAGE);
    page = ClampPage(page, pages);
    std::string json = JsonStart() + "\"perfil\":" + WebJsonString(profile_.name) +
                       ",\"serial\":" + std::to_string(serial) +
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
        return ApiNotFound();
    }
    const Recording r = MakeRecording(std::move(*upload), store_.Readings(id));
    const StoredUpload& u = r.upload;
    const GraphReportValues& v = r.stats;
    const int n = static_cast<int>(r.tenths.size());
    const bool timed = r.times_known && n > 0;
    std::string json =
        JsonStart() + "\"id\":" + std::to_string(u.id) + ",\"serial\":" + std::to_string(u.serial) +
        ",\"descricao\":" + WebJsonString(u.description) +
        ",\"recebido\":" + WebJsonString(ReceivedIso(u.received)) +
        ",\"origem\":" + WebJsonString(u.peer) + ",\"sha256\":" + WebJsonString(u.sha256) +
        ",\"verified\":" + (Verified(u, r.tenths) ? "true" : "false");
    json += ",\"configuracao\":{\"limite_inferior_c\":" + TenthsText(u.low_alarm_x10) +
            ",\"limite_superior_c\":" + TenthsText(u.high_alarm_x10) +
            ",\"atraso_alarme_s\":" + std::to_string(u.alarm_delay) +
            ",\"atraso_inicio_s\":" + std::to_string(u.start_delay) +
            ",\"intervalo_s\":" + std::to_string(u.sample_rate) +
            ",\"pontos\":" + std::to_string(u.sample_points) + ",\"unidade\":\"" +
            (u.temp_unit != 0 ? "F" : "C") + "\",\"firmware\":" + WebJsonString(u.firmware) +
            ",\"software\":" + WebJsonString(u.software) + "}";
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
    json += ",\"resumo\":" + ResumoJson(VerdictOf(r), timed);
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

WebResponse WebView::ApiError(int status, const std::string& message) {
    return {status, kJson,
            JsonStart() + "\"status\":" + std::to_string(status) +
                ",\"erro\":" + WebJsonString(message) + "}\n",
            ""};
}
