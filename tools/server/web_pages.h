#pragma once
// The collection server's web view, apart from HTTP: each page, the stylesheet, the
// CSV file and the JSON documents as a status, a content type and a body. Read-only.
// The HTML pages are in web_pages.cpp, the CSV file in web_csv.cpp, the JSON documents
// in web_api.cpp and the stylesheet in web_style.css.

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "alert_store.h"
#include "reports/profile.h"
#include "reports/recording_summary.h"
#include "web_recording.h"
#include "web_store.h"

struct WebResponse {
    int status = 200;
    std::string content_type;
    std::string body;
    std::string download_name;  // for Content-Disposition, when a file
};

// Rows of the list pages and of the readings table, per page.
constexpr int WEB_CARDS_PER_PAGE = 50;
constexpr int WEB_UPLOADS_PER_PAGE = 25;
constexpr int WEB_READINGS_PER_PAGE = 500;
constexpr int WEB_API_ROWS_PER_PAGE = 100;
constexpr int WEB_LOGINS_PER_PAGE = 50;
constexpr int WEB_ALERTS_PER_PAGE = 50;
// The JSON API's version: in its paths (/api/v1/...) and in every answer ("versao").
constexpr int WEB_API_VERSION = 1;
// Summaries kept in memory (stored uploads never change); cleared when full.
constexpr std::size_t SUMMARY_CACHE_SIZE = 200000;

class WebView {
  public:
    // Every recording is judged by `profile`; the alerts are read from `alerts`, if any.
    explicit WebView(WebStore& store, Profile profile = *BuiltInProfile(DEFAULT_PROFILE),
                     AlertStore* alerts = nullptr)
        : store_(store), profile_(std::move(profile)), alerts_(alerts) {}

    // `page` counts from 1; a page past the last shows the last.
    WebResponse Home(long long page);
    WebResponse CardPage(long serial, long long page);
    WebResponse UploadPage(long long id, long long page);
    WebResponse UploadCsv(long long id);
    // Newest first.
    WebResponse AlertsPage(long long page);
    WebResponse ApiCards(long long page);
    WebResponse ApiCard(long serial, long long page);
    WebResponse ApiUpload(long long id);
    // The logins to the web view, newest first.
    WebResponse AuditPage(long long page);
    static WebResponse Stylesheet();
    // The program's icon, for the browser's tab.
    static WebResponse Icon();
    static WebResponse NotFound();
    static WebResponse Unauthorized();
    static WebResponse TooManyTries();
    static WebResponse BadRequest();
    // The JSON API's refusals, as JSON: {"versao":1,"status":404,"erro":"..."}.
    static WebResponse ApiError(int status, const std::string& message);

    // The list pages' view of one upload, computed once.
    UploadSummary SummaryOf(const StoredUpload& upload);
    // What `razurozavi-cli summary` says of the recording, with the server's profile.
    RecordingSummary VerdictOf(const Recording& recording) const;

  private:
    // Whether the upload's digest holds for its fields and readings, and its link for the
    // upload before it.
    bool Verified(const StoredUpload& upload, const std::vector<int>& tenths);

    WebStore& store_;
    const Profile profile_;
    AlertStore* const alerts_;
    std::mutex cache_mutex_;
    std::unordered_map<long long, UploadSummary> summaries_;
};
