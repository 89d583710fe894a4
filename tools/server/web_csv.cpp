#include "web_escape.h"
#include "web_format.h"
#include "web_pages.h"

WebResponse WebView::UploadCsv(long long id) {
    std::optional<StoredUpload> upload = store_.Upload(id);
    if (!upload) {
        return NotFound();
    }
    const Recording r = MakeRecording(std::move(*upload), store_.Readings(id));
    const StoredUpload& u = r.upload;
    const std::string low = TenthsText(u.low_alarm_x10);
    const std::string high = TenthsText(u.high_alarm_x10);
    std::string tail = ",";
    tail += std::to_string(u.serial);
    tail += ",";
    tail += CsvText(u.description);
    tail += "\r\n";
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
        csv += ',';
        csv += TenthsText(r.tenths[i]);
        csv += ',';
        csv += low;
        csv += ',';
        csv += high;
        csv += tail;
    }
    WebResponse response{200, "text/csv; charset=utf-8; header=present", std::move(csv), ""};
    response.download_name =
        "razurozavi-" + std::to_string(u.serial) + "-" + std::to_string(u.id) + ".csv";
    return response;
}
