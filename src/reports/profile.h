#pragma once
// Cold-chain profiles: the rules a recording is judged by. A profile file holds one rule
// a line ('#' starts a comment):
//
//   congelamento: temperature <= -0.5 for 60min single
//   calor: temperature >= 30 for 10h cumulative
//   mkt-diario: mkt window 24h <= 25.0
//   alarme-inferior: alarm below
//   delta_h: 83.144
//
// A temperature rule fails the recording when it holds: `single` when some run of
// consecutive readings meeting the comparison lasts the duration, `cumulative` when all
// such readings together do (a reading lasts one interval, and at least one must meet
// it). An MKT rule passes while the MKT of the whole recording, or the highest of any
// window, stays at or under the value. An alarm rule fails when the graph report shows an
// alarm episode on that side, the alarm delay applied.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class Comparison { Less, LessOrEqual, Greater, GreaterOrEqual };

enum class RuleKind { TemperatureSingle, TemperatureCumulative, Mkt, AlarmBelow, AlarmAbove };

struct ProfileRule {
    std::string name;
    RuleKind kind = RuleKind::TemperatureSingle;
    Comparison comparison = Comparison::LessOrEqual;  // temperature rules
    double value = 0;          // degrees Celsius: the temperature compared, or the highest MKT
    long long duration_s = 0;  // temperature rules: the duration; MKT rules: the window, 0 whole

    bool operator==(const ProfileRule&) const = default;
};

constexpr double DEFAULT_DELTA_H_KJ = 83.144;

struct Profile {
    std::string name;
    double delta_h_kj = DEFAULT_DELTA_H_KJ;  // activation energy of the MKT, kJ/mol
    std::vector<ProfileRule> rules;

    bool operator==(const Profile&) const = default;
};

// Why a profile text was refused: the line (from 1) and what was expected there.
struct ProfileError {
    int line = 0;
    std::string expected;
};

// The whole text or nothing: a text with one wrong line yields no profile.
std::variant<Profile, ProfileError> ParseProfile(std::string_view name, std::string_view text);

inline constexpr std::string_view DEFAULT_PROFILE = "cartao";
// cartao, oms-30dtr, oms-qtag-1, usp-crt.
const std::vector<std::string>& BuiltInProfileNames();
std::optional<Profile> BuiltInProfile(std::string_view name);
// The profile file's text of a built-in profile, as installed for users to copy.
std::optional<std::string_view> BuiltInProfileText(std::string_view name);

// Where a user's own profiles live: $XDG_CONFIG_HOME/razurozavi/perfis (~/.config when unset).
std::string UserProfileDir();
inline constexpr std::string_view PROFILE_FILE_EXTENSION = ".perfil";

// A profile by name or by file. A path (anything with a '/' or ending in .perfil) is read
// as a profile file named after its file name; a built-in name is the built-in profile;
// any other name is `user_dir`/NAME.perfil.
struct ProfileLookup {
    std::optional<Profile> profile;
    std::string message;  // why there is none, in the system's words
};
ProfileLookup FindProfile(const std::string& name_or_path, const std::string& user_dir);

// The names of the profile files in `user_dir`, sorted.
std::vector<std::string> UserProfileNames(const std::string& user_dir);
