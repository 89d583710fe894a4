#include "reports/profile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

// A profile is a few lines; anything larger is not one.
constexpr std::size_t kMaxProfileBytes = 64 * 1024;

struct BuiltIn {
    std::string_view name;
    std::string_view text;
};

// Byte for byte the files installed under share/razurozavi/perfis.
constexpr BuiltIn kBuiltIns[] = {
    {"cartao",
     "# Os alarmes do próprio cartão, como o relatório gráfico os mostra: reprovado quando\n"
     "# houve um episódio de alarme, com o atraso do alarme aplicado.\n"
     "alarme-inferior: alarm below\n"
     "alarme-superior: alarm above\n"},
    {"oms-30dtr",
     "# Registrador de 30 dias da OMS para vacinas refrigeradas: congelamento a -0,5 °C ou\n"
     "# menos por uma hora seguida, ou calor a 8 °C ou mais por dez horas seguidas.\n"
     "congelamento: temperature <= -0.5 for 60min single\n"
     "calor: temperature >= 8.0 for 10h single\n"},
    {"oms-qtag-1",
     "# Indicador de transporte da OMS: calor extremo, calor acumulado e congelamento.\n"
     "calor-extremo: temperature >= 45 for 1h single\n"
     "calor: temperature >= 30 for 10h cumulative\n"
     "congelamento: temperature <= -0.5 for 1h single\n"},
    {"usp-crt",
     "# Temperatura ambiente controlada (farmacopeia americana): MKT até 25 °C, nenhum pico\n"
     "# acima de 40 °C e no máximo 24 horas acima de 30 °C.\n"
     "mkt: mkt <= 25.0\n"
     "pico: temperature > 40 for 0min single\n"
     "calor: temperature > 30 for 24h cumulative\n"},
};

constexpr std::string_view kSpaces = " \t\r";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(kSpaces, at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(kSpaces, at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

bool IsRuleName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

std::optional<double> ParseNumber(std::string_view word) {
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// "90s", "60min", "10h", "1d".
std::optional<long long> ParseDuration(std::string_view word) {
    long long count = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), count);
    if (error != std::errc() || end == word.data() || count < 0) {
        return std::nullopt;
    }
    const std::string_view unit(end, static_cast<std::size_t>(word.data() + word.size() - end));
    long long seconds = 0;
    if (unit == "s") {
        seconds = 1;
    } else if (unit == "min") {
        seconds = 60;
    } else if (unit == "h") {
        seconds = 3600;
    } else if (unit == "d") {
        seconds = 86400;
    } else {
        return std::nullopt;
    }
    if (count > LLONG_MAX / seconds) {
        return std::nullopt;
    }
    return count * seconds;
}

std::optional<Comparison> ParseComparison(std::string_view word) {
    if (word == "<") {
        return Comparison::Less;
    }
    if (word == "<=") {
        return Comparison::LessOrEqual;
    }
    if (word == ">") {
        return Comparison::Greater;
    }
    if (word == ">=") {
        return Comparison::GreaterOrEqual;
    }
    return std::nullopt;
}

constexpr const char* kExpectNumber = "um número, como -0.5";
constexpr const char* kExpectDuration = "uma duração, como 0min, 60min, 10h ou 1d";
constexpr const char* kExpectEnd = "o fim da linha";

// The words after "NAME:"; the rule, or what was expected instead.
std::variant<ProfileRule, std::string> ParseRule(const std::vector<std::string_view>& words) {
    ProfileRule rule;
    const auto word = [&](std::size_t k) { return k < words.size() ? words[k] : ""; };
    if (word(0) == "temperature") {
        const auto comparison = ParseComparison(word(1));
        if (!comparison) {
            return std::string("um operador: <, <=, > ou >=");
        }
        const auto value = ParseNumber(word(2));
        if (!value) {
            return std::string(kExpectNumber);
        }
        if (word(3) != "for") {
            return std::string("\"for\"");
        }
        const auto duration = ParseDuration(word(4));
        if (!duration) {
            return std::string(kExpectDuration);
        }
        if (word(5) == "single") {
            rule.kind = RuleKind::TemperatureSingle;
        } else if (word(5) == "cumulative") {
            rule.kind = RuleKind::TemperatureCumulative;
        } else {
            return std::string("\"single\" ou \"cumulative\"");
        }
        if (words.size() > 6) {
            return std::string(kExpectEnd);
        }
        rule.comparison = *comparison;
        rule.value = *value;
        rule.duration_s = *duration;
        return rule;
    }
    if (word(0) == "mkt") {
        rule.kind = RuleKind::Mkt;
        std::size_t at = 1;
        if (word(at) == "window") {
            const auto window = ParseDuration(word(at + 1));
            if (!window || *window == 0) {
                return std::string("uma janela, como 24h ou 30d");
            }
            rule.duration_s = *window;
            at += 2;
        }
        if (word(at) != "<=") {
            return std::string(at == 1 ? "\"window\" ou \"<=\"" : "\"<=\"");
        }
        const auto value = ParseNumber(word(at + 1));
        if (!value) {
            return std::string(kExpectNumber);
        }
        if (words.size() > at + 2) {
            return std::string(kExpectEnd);
        }
        rule.value = *value;
        return rule;
    }
    if (word(0) == "alarm") {
        if (word(1) == "below") {
            rule.kind = RuleKind::AlarmBelow;
        } else if (word(1) == "above") {
            rule.kind = RuleKind::AlarmAbove;
        } else {
            return std::string("\"below\" ou \"above\"");
        }
        if (words.size() > 2) {
            return std::string(kExpectEnd);
        }
        return rule;
    }
    return std::string("\"temperature\", \"mkt\" ou \"alarm\"");
}

}  // namespace

std::variant<Profile, ProfileError> ParseProfile(std::string_view name, std::string_view text) {
    Profile profile;
    profile.name = std::string(name);
    std::set<std::string, std::less<>> names;
    bool delta_h_seen = false;
    int line_number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        ++line_number;
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const auto refuse = [&](std::string expected) {
            return ProfileError{line_number, std::move(expected)};
        };
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return refuse("\"NOME: regra\"");
        }
        const std::string_view rule_name = Trim(line.substr(0, colon));
        if (!IsRuleName(rule_name)) {
            return refuse("um nome de letras, algarismos, \"-\" ou \"_\" antes de \":\"");
        }
        const std::vector<std::string_view> words = Words(line.substr(colon + 1));
        if (rule_name == "delta_h") {
            const auto value = words.size() == 1 ? ParseNumber(words[0]) : std::nullopt;
            if (!value || *value <= 0) {
                return refuse("a energia de ativação em kJ/mol, como 83.144");
            }
            if (delta_h_seen) {
                return refuse("um único delta_h");
            }
            delta_h_seen = true;
            profile.delta_h_kj = *value;
            continue;
        }
        if (names.count(rule_name) != 0) {
            return refuse("um nome que nenhuma regra anterior usa");
        }
        auto parsed = ParseRule(words);
        if (auto* expected = std::get_if<std::string>(&parsed)) {
            return refuse(std::move(*expected));
        }
        ProfileRule rule = std::get<ProfileRule>(std::move(parsed));
        rule.name = std::string(rule_name);
        names.insert(rule.name);
        profile.rules.push_back(std::move(rule));
    }
    if (profile.rules.empty()) {
        return ProfileError{std::max(line_number, 1), "ao menos uma regra"};
    }
    return profile;
}

const std::vector<std::string>& BuiltInProfileNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const BuiltIn& built_in : kBuiltIns) {
            list.emplace_back(built_in.name);
        }
        return list;
    }();
    return names;
}

std::optional<std::string_view> BuiltInProfileText(std::string_view name) {
    for (const BuiltIn& built_in : kBuiltIns) {
        if (built_in.name == name) {
            return built_in.text;
        }
    }
    return std::nullopt;
}

std::optional<Profile> BuiltInProfile(std::string_view name) {
    const auto text = BuiltInProfileText(name);
    if (!text) {
        return std::nullopt;
    }
    return std::get<Profile>(ParseProfile(name, *text));
}

std::string UserProfileDir() {
    // A relative XDG_CONFIG_HOME is to be ignored, as the base-directory rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/razurozavi/perfis";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/razurozavi/perfis";
}

ProfileLookup FindProfile(const std::string& name_or_path, const std::string& user_dir) {
    const bool is_path = name_or_path.find('/') != std::string::npos ||
                         (name_or_path.size() > PROFILE_FILE_EXTENSION.size() &&
                          name_or_path.ends_with(PROFILE_FILE_EXTENSION));
    if (!is_path) {
        if (auto built_in = BuiltInProfile(name_or_path)) {
            return {std::move(built_in), ""};
        }
        if (!IsRuleName(name_or_path)) {
            return {std::nullopt, "Perfil não encontrado: " + name_or_path};
        }
    }
    const std::string path =
        is_path ? name_or_path
                : user_dir + "/" + name_or_path + std::string(PROFILE_FILE_EXTENSION);
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    if (!in || std::filesystem::is_directory(path, error)) {
        return {std::nullopt, "Perfil não encontrado: " + (is_path ? path : name_or_path)};
    }
    std::string text;
    text.resize(kMaxProfileBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxProfileBytes) {
        return {std::nullopt, "Perfil inválido: " + path + ": arquivo grande demais"};
    }
    std::string name = std::filesystem::path(path).filename().string();
    if (name.ends_with(PROFILE_FILE_EXTENSION) && name.size() > PROFILE_FILE_EXTENSION.size()) {
        name.resize(name.size() - PROFILE_FILE_EXTENSION.size());
    }
    auto parsed = ParseProfile(name, text);
    if (const auto* refused = std::get_if<ProfileError>(&parsed)) {
        return {std::nullopt, "Perfil inválido: " + path + ", linha " +
                                  std::to_string(refused->line) + ": esperado " +
                                  refused->expected};
    }
    return {std::get<Profile>(std::move(parsed)), ""};
}

std::vector<std::string> UserProfileNames(const std::string& user_dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(user_dir, error), end; !error && it != end;
         it.increment(error)) {
        const std::string file = it->path().filename().string();
        if (file.size() > PROFILE_FILE_EXTENSION.size() && file.ends_with(PROFILE_FILE_EXTENSION)) {
            names.push_back(file.substr(0, file.size() - PROFILE_FILE_EXTENSION.size()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
