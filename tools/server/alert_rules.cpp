#include "alert_rules.h"

#include <map>
#include <sstream>

#include "base/number_text.h"
#include "files/file.h"

namespace {

constexpr long kLargestSerial = 0xFFFFFF;
constexpr long kLargestMinutes = 366L * 24 * 60;
constexpr long kLargestHours = 366L * 24;
// A secret is a line; a rules file a page. Anything far larger is the wrong file (or a device).
constexpr std::size_t SECRET_FILE_LIMIT = 64 * 1024;
constexpr std::size_t RULES_FILE_LIMIT = 1024 * 1024;

class LineError {
  public:
    explicit LineError(std::string what) : what_(std::move(what)) {}
    const std::string& What() const { return what_; }

  private:
    std::string what_;
};

// Words come split at spaces, so none reaches here with one around it.
std::optional<long> Number(const std::string& text, long low, long high) {
    const std::optional<long> value = ParseWholeNumber(text, 9);
    if (!value || *value < low || *value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<long> Card(const std::string& word) {
    if (word == "all") {
        return std::nullopt;
    }
    const std::optional<long> serial = Number(word, 1, kLargestSerial);
    if (!serial) {
        throw LineError("expected a card serial (1 to 16777215) or all, not \"" + word + "\"");
    }
    return serial;
}

// A mail address as it goes into the SMTP dialogue and a header: nothing that could end
// either early.
bool PlainAddress(const std::string& address) {
    const std::size_t at = address.find('@');
    return at != std::string::npos && at > 0 && at + 1 < address.size() &&
           address.find_first_of("<>,;\"\\()[] \t\r\n") == std::string::npos;
}

// The key=value words after the first two, each named once and known to the line.
std::map<std::string, std::string> Fields(const std::vector<std::string>& words,
                                          const std::vector<std::string>& known) {
    std::map<std::string, std::string> fields;
    for (std::size_t k = 2; k < words.size(); ++k) {
        const std::size_t equals = words[k].find('=');
        const std::string name = words[k].substr(0, equals);
        bool is_known = false;
        for (const std::string& n : known) {
            is_known = is_known || n == name;
        }
        if (equals == std::string::npos || equals + 1 == words[k].size() || !is_known) {
            std::string expected;
            for (const std::string& n : known) {
                expected += (expected.empty() ? "" : ", ") + n + "=";
            }
            throw LineError("expected " + (expected.empty() ? "nothing after the card" : expected) +
                            ", not \"" + words[k] + "\"");
        }
        if (!fields.emplace(name, words[k].substr(equals + 1)).second) {
            throw LineError(name + "= given twice");
        }
    }
    return fields;
}

std::string ReadSecretFile(const std::string& path) {
    std::string reason;
    std::optional<std::string> read = ReadWholeFile(path, &reason, SECRET_FILE_LIMIT);
    if (!read || read->size() > SECRET_FILE_LIMIT) {
        throw LineError("cannot read " + path + ": " + (read ? "not a secret, too long" : reason));
    }
    std::string secret = std::move(*read);
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) {
        secret.pop_back();
    }
    return secret;
}

// The secret named by NAME-file= or NAME-env=: exactly one of them, not empty.
std::string Secret(std::map<std::string, std::string>& fields, const std::string& name) {
    const bool in_file = fields.count(name + "-file") != 0;
    const bool in_env = fields.count(name + "-env") != 0;
    if (in_file == in_env) {
        throw LineError("expected one of " + name + "-file= and " + name + "-env=");
    }
    std::string secret;
    if (in_file) {
        secret = ReadSecretFile(fields[name + "-file"]);
    } else {
        const char* value = std::getenv(fields[name + "-env"].c_str());
        if (value == nullptr) {
            throw LineError("the environment variable " + fields[name + "-env"] + " is not set");
        }
        secret = value;
    }
    if (secret.empty()) {
        throw LineError("the " + name + " is empty");
    }
    return secret;
}

bool HasHostAfter(const std::string& url, const std::string& scheme) {
    return url.rfind(scheme, 0) == 0 && url.size() > scheme.size() && url[scheme.size()] != '/' &&
           url.find_first_of(" \t\r\n") == std::string::npos;
}

MailTarget MailLine(const std::vector<std::string>& words) {
    if (words.size() < 2 ||
        !(HasHostAfter(words[1], "smtp://") || HasHostAfter(words[1], "smtps://"))) {
        throw LineError("expected smtp://HOST:PORT or smtps://HOST:PORT after mail");
    }
    std::map<std::string, std::string> fields =
        Fields(words, {"from", "to", "user", "password-file", "password-env", "ca-file"});
    MailTarget mail;
    mail.url = words[1];
    mail.from = fields["from"];
    if (!PlainAddress(mail.from)) {
        throw LineError("expected from=ADDRESS");
    }
    std::stringstream to(fields["to"]);
    for (std::string address; std::getline(to, address, ',');) {
        if (!PlainAddress(address)) {
            throw LineError("expected to=ADDRESS[,ADDRESS...], not \"" + address + "\"");
        }
        mail.to.push_back(address);
    }
    if (mail.to.empty()) {
        throw LineError("expected to=ADDRESS[,ADDRESS...]");
    }
    const bool has_password = fields.count("password-file") + fields.count("password-env") > 0;
    if (fields.count("user") != 0 || has_password) {
        mail.user = fields["user"];
        if (mail.user.empty()) {
            throw LineError("expected user= with the password");
        }
        mail.password = Secret(fields, "password");
    }
    mail.ca_file = fields["ca-file"];
    return mail;
}

WebhookTarget WebhookLine(const std::vector<std::string>& words) {
    if (words.size() < 2 || !HasHostAfter(words[1], "https://")) {
        throw LineError("expected https://HOST/PATH after webhook");
    }
    std::map<std::string, std::string> fields =
        Fields(words, {"secret-file", "secret-env", "ca-file"});
    return {words[1], Secret(fields, "secret"), fields["ca-file"]};
}

AlertRule RuleLine(const std::vector<std::string>& words) {
    AlertRule rule;
    const std::string& kind = words[0];
    if (words.size() < 2) {
        throw LineError("expected a card serial or all after " + kind);
    }
    rule.serial = Card(words[1]);
    if (kind == "limits") {
        rule.kind = AlertKind::Limits;
        std::map<std::string, std::string> fields = Fields(words, {"minutes"});
        if (fields.count("minutes") != 0) {
            const std::optional<long> minutes = Number(fields["minutes"], 1, kLargestMinutes);
            if (!minutes) {
                throw LineError("expected minutes=N, N from 1 to " +
                                std::to_string(kLargestMinutes));
            }
            rule.minutes = static_cast<int>(*minutes);
        }
    } else if (kind == "silence") {
        rule.kind = AlertKind::Silence;
        std::map<std::string, std::string> fields = Fields(words, {"hours"});
        const std::optional<long> hours = Number(fields["hours"], 1, kLargestHours);
        if (!hours) {
            throw LineError("expected hours=N, N from 1 to " + std::to_string(kLargestHours));
        }
        rule.hours = static_cast<int>(*hours);
    } else {
        rule.kind = AlertKind::Full;
        Fields(words, {});
    }
    return rule;
}

}  // namespace

std::string AlertRule::Name() const {
    const std::string card = serial ? std::to_string(*serial) : "all";
    switch (kind) {
        case AlertKind::Limits:
            return "limits " + card + (minutes > 0 ? " minutes=" + std::to_string(minutes) : "");
        case AlertKind::Silence:
            return "silence " + card + " hours=" + std::to_string(hours);
        case AlertKind::Full:
            return "full " + card;
    }
    return card;
}

AlertRulesLoad ParseAlertRules(const std::string& text, const std::string& source) {
    AlertRules rules;
    std::stringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::stringstream split(line);
        std::vector<std::string> words;
        for (std::string word; split >> word;) {
            words.push_back(word);
        }
        if (words.empty()) {
            continue;
        }
        try {
            const std::string& first = words[0];
            if (first == "mail" || first == "webhook") {
                if (first == "mail" ? rules.mail.has_value() : rules.webhook.has_value()) {
                    throw LineError("only one " + first + " line");
                }
                if (first == "mail") {
                    rules.mail = MailLine(words);
                } else {
                    rules.webhook = WebhookLine(words);
                }
            } else if (first == "limits" || first == "silence" || first == "full") {
                rules.rules.push_back(RuleLine(words));
            } else {
                throw LineError("expected mail, webhook, limits, silence or full, not \"" + first +
                                "\"");
            }
        } catch (const LineError& e) {
            return {std::nullopt, source + ":" + std::to_string(number) + ": " + e.What()};
        }
    }
    if (rules.rules.empty()) {
        return {std::nullopt, source + ": no rule (limits, silence or full)"};
    }
    if (!rules.mail && !rules.webhook) {
        return {std::nullopt, source + ": no mail or webhook line to send the alerts to"};
    }
    return {std::move(rules), ""};
}

AlertRulesLoad LoadAlertRules(const std::string& path) {
    std::string reason;
    const std::optional<std::string> text = ReadWholeFile(path, &reason, RULES_FILE_LIMIT);
    if (!text || text->size() > RULES_FILE_LIMIT) {
        return {std::nullopt, path + ": " + (text ? "too long for a rules file" : reason)};
    }
    return ParseAlertRules(*text, path);
}
