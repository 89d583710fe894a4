#include "alert_delivery.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>

#include "base/json_text.h"
#include "files/digest.h"

namespace {

// The line that says what the alert is about, in the mail's subject.
std::string Subject(const StoredAlert& a) {
    return "Alerta RazuRozavi: cartão " + std::to_string(a.serial) + " (" + a.rule + ")";
}

// RFC 2047, so that the accents reach every mail reader.
std::string EncodedWord(const std::string& text) {
    std::string encoded(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    encoded.resize(static_cast<std::size_t>(n));
    return "=?UTF-8?B?" + encoded + "?=";
}

// RFC 5322's date, in English whatever the locale.
std::string MailDate(std::time_t now) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    gmtime_r(&now, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[t.tm_wday],
                  t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string IsoTime(std::time_t seconds) {
    std::string text = UtcText(seconds);
    text[10] = 'T';
    return text + "Z";
}

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Curl = std::unique_ptr<CURL, CurlFree>;
using CurlList = std::unique_ptr<curl_slist, CurlFree>;

CurlList List(const std::vector<std::string>& items) {
    curl_slist* list = nullptr;
    for (const std::string& item : items) {
        list = curl_slist_append(list, item.c_str());
    }
    return CurlList(list);
}

// What is left of the mail to hand to libcurl.
struct Upload {
    const std::string* text;
    std::size_t sent = 0;
};

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const std::size_t n = std::min(size * count, upload->text->size() - upload->sent);
    upload->text->copy(buffer, n, upload->sent);
    upload->sent += n;
    return n;
}

std::size_t DropAnswer(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// Called about once a second, also while connecting: non-zero aborts the transfer.
int AbortWhenStopped(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

// Settings every delivery shares: bounded in time, no signals from the resolver (another
// thread's), the certificate checked.
Curl NewCurl(const std::string& url, const std::string& ca_file, const char* protocols,
             const std::atomic<bool>& stop, char* error) {
    Curl curl(curl_easy_init());
    if (!curl) {
        return curl;
    }
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, ALERT_CONNECT_TIMEOUT_S);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, ALERT_DELIVERY_TIMEOUT_S);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, AbortWhenStopped);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&stop));
    if (!ca_file.empty()) {
        curl_easy_setopt(c, CURLOPT_CAINFO, ca_file.c_str());
    }
    return curl;
}

std::string CurlError(CURLcode code, const char* buffer) {
    return buffer[0] != '\0' ? buffer : curl_easy_strerror(code);
}

}  // namespace

AlertDelivery::AlertDelivery(AlertRules rules) : rules_(std::move(rules)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

std::vector<std::string> AlertDelivery::Channels() const {
    std::vector<std::string> channels;
    if (rules_.mail) {
        channels.emplace_back(MAIL_CHANNEL);
    }
    if (rules_.webhook) {
        channels.emplace_back(WEBHOOK_CHANNEL);
    }
    return channels;
}

std::string AlertDelivery::Send(const StoredAlert& alert, std::time_t now,
                                const std::atomic<bool>& stop) const {
    if (alert.channel == MAIL_CHANNEL && rules_.mail) {
        return SendMail(*rules_.mail, alert, now, stop);
    }
    if (alert.channel == WEBHOOK_CHANNEL && rules_.webhook) {
        return SendWebhook(*rules_.webhook, alert, stop);
    }
    return "no " + alert.channel + " line in the alert rules";
}

std::string AlertDelivery::SendMail(const MailTarget& mail, const StoredAlert& alert,
                                    std::time_t now, const std::atomic<bool>& stop) const {
    char error[CURL_ERROR_SIZE] = "";
    const Curl curl = NewCurl(mail.url, mail.ca_file, "smtp,smtps", stop, error);
    if (!curl) {
        return "cannot start libcurl";
    }
    CURL* c = curl.get();
    // Never a mail in the clear: smtp:// must be upgraded by STARTTLS or fail.
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    const std::string from = "<" + mail.from + ">";
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    std::vector<std::string> to;
    for (const std::string& address : mail.to) {
        to.push_back("<" + address + ">");
    }
    const CurlList recipients = List(to);
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    if (!mail.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, mail.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, mail.password.c_str());
    }
    const std::string text = MailText(mail, alert, now);
    Upload upload{&text};
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    const CURLcode code = curl_easy_perform(c);
    return code == CURLE_OK ? "" : CurlError(code, error);
}

std::string AlertDelivery::SendWebhook(const WebhookTarget& hook, const StoredAlert& alert,
                                       const std::atomic<bool>& stop) const {
    char error[CURL_ERROR_SIZE] = "";
    const Curl curl = NewCurl(hook.url, hook.ca_file, "https", stop, error);
    if (!curl) {
        return "cannot start libcurl";
    }
    CURL* c = curl.get();
    const std::string body = WebhookBody(alert);
    const CurlList headers =
        List({"Content-Type: application/json",
              "X-Razurozavi-Signature: " + WebhookSignature(hook.secret, body)});
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, DropAnswer);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        return CurlError(code, error);
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return status >= 200 && status < 300 ? ""
                                         : "the webhook answered HTTP " + std::to_string(status);
}

std::string WebhookBody(const StoredAlert& a) {
    return "{\"versao\":1,\"id\":" + std::to_string(a.id) + ",\"chave\":" + JsonString(a.key) +
           ",\"regra\":" + JsonString(a.rule) + ",\"serial\":" + std::to_string(a.serial) +
           ",\"envio\":" + std::to_string(a.upload_id) +
           ",\"criado\":" + JsonString(IsoTime(a.created)) +
           ",\"mensagem\":" + JsonString(a.message) + "}";
}

std::string WebhookSignature(const std::string& secret, const std::string& body) {
    return "sha256=" + HmacSha256Hex(secret, body);
}

std::string MailText(const MailTarget& mail, const StoredAlert& a, std::time_t now) {
    std::string to;
    for (const std::string& address : mail.to) {
        to += (to.empty() ? "" : ", ") + address;
    }
    const std::size_t at = mail.from.find('@');
    return "Date: " + MailDate(now) + "\r\nFrom: " + mail.from + "\r\nTo: " + to +
           "\r\nSubject: " + EncodedWord(Subject(a)) + "\r\nMessage-ID: <alerta-" +
           std::to_string(a.id) + "-" + std::to_string(a.created) + mail.from.substr(at) +
           ">\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n\r\n" +
           a.message + "\r\n\r\nRegra: " + a.rule + "\r\nCartão: " + std::to_string(a.serial) +
           "\r\nEnvio: " + std::to_string(a.upload_id) + "\r\nAlerta: " + std::to_string(a.id) +
           ", criado em " + UtcText(a.created) + " UTC\r\n";
}
