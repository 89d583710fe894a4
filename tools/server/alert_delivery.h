#pragma once
// Sends an alert over its channel with libcurl: a mail through the rules' SMTP server
// (TLS always: STARTTLS on smtp://, TLS from the start on smtps://), or a JSON document
// POSTed to the rules' HTTPS webhook, signed so that the receiver can trust it:
//
//   X-Razurozavi-Signature: sha256=HEX
//
// HEX being the HMAC-SHA256 of the exact body with the webhook's secret. The receiver's
// certificate is always checked (against ca-file= when given).

#include <atomic>
#include <ctime>
#include <string>
#include <vector>

#include "alert_rules.h"
#include "alert_store.h"

// How long one delivery may take, connecting included.
constexpr long ALERT_CONNECT_TIMEOUT_S = 10;
constexpr long ALERT_DELIVERY_TIMEOUT_S = 30;

constexpr const char* MAIL_CHANNEL = "mail";
constexpr const char* WEBHOOK_CHANNEL = "webhook";

class AlertDelivery {
  public:
    // Initializes libcurl: before any other thread starts.
    explicit AlertDelivery(AlertRules rules);
    // The channels the rules send to.
    std::vector<std::string> Channels() const;
    // Empty when delivered; else why not. Given up at once when `stop` turns true.
    std::string Send(const StoredAlert& alert, std::time_t now,
                     const std::atomic<bool>& stop) const;

  private:
    std::string SendMail(const MailTarget& mail, const StoredAlert& alert, std::time_t now,
                         const std::atomic<bool>& stop) const;
    std::string SendWebhook(const WebhookTarget& hook, const StoredAlert& alert,
                            const std::atomic<bool>& stop) const;

    AlertRules rules_;
};

// The webhook's body: one JSON object.
std::string WebhookBody(const StoredAlert& alert);
// "sha256=" and the HMAC-SHA256 of `body` in lowercase hex.
std::string WebhookSignature(const std::string& secret, const std::string& body);
// The mail, headers and body, with CRLF line ends.
std::string MailText(const MailTarget& mail, const StoredAlert& alert, std::time_t now);
