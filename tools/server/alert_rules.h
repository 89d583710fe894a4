#pragma once
// The collection server's alert rules (--alerts FILE): when to tell someone, and where.
// One rule or destination a line; '#' starts a comment; words are separated by blanks.
//
//   mail smtp://mail.example.com:587 from=servidor@example.com to=a@example.com,b@example.com
//        user=servidor password-file=/etc/razurozavi/smtp-password
//   webhook https://lims.example.com/razurozavi secret-env=RAZUROZAVI_WEBHOOK_SECRET
//   limits all                  any alarm episode in an uploaded recording
//   limits 123456 minutes=30    more than 30 minutes below, or above, the card's limits
//   silence all hours=26        no upload from a card for 26 hours
//   full all                    the card's memory full, or its configured points reached
//
// (a mail line is one line in the file.) Passwords and secrets come from a file
// (password-file=, secret-file=) or the environment (password-env=, secret-env=), never
// from the rules themselves; ca-file= names the certificates a receiver is checked against
// instead of the system's.

#include <optional>
#include <string>
#include <vector>

enum class AlertKind { Limits, Silence, Full };

struct AlertRule {
    AlertKind kind = AlertKind::Limits;
    std::optional<long> serial;  // none: every card
    int minutes = 0;             // Limits: 0 is any alarm episode
    int hours = 0;               // Silence

    bool Covers(long card) const { return !serial || *serial == card; }
    // The rule as written, in one canonical form: part of every alert's key.
    std::string Name() const;
};

struct MailTarget {
    std::string url;  // smtp://host:port (STARTTLS required) or smtps://host:port
    std::string from;
    std::vector<std::string> to;
    std::string user;  // with password, or neither
    std::string password;
    std::string ca_file;  // empty: the system's certificates
};

struct WebhookTarget {
    std::string url;  // https:// only
    std::string secret;
    std::string ca_file;
};

struct AlertRules {
    std::vector<AlertRule> rules;
    std::optional<MailTarget> mail;
    std::optional<WebhookTarget> webhook;
};

struct AlertRulesLoad {
    std::optional<AlertRules> rules;
    std::string error;  // "FILE:LINE: what was expected", when refused
};

// The rules in `text`; `source` names the file in errors. Secrets are read here.
AlertRulesLoad ParseAlertRules(const std::string& text, const std::string& source);
AlertRulesLoad LoadAlertRules(const std::string& path);
