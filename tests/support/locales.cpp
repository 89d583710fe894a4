#include "support/locales.h"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/run_command.h"

namespace {

// Built once for every test process of the build: localedef takes seconds.
const std::string kBuiltLocales = RAZUROZAVI_TEST_LOCALES;

// "pt_BR.UTF-8" from the system or built; false (with why) when neither.
bool Provide(const std::string& name, bool* built, std::string* why_not) {
    *built = false;
    if (std::getenv("LOCPATH") == nullptr && std::setlocale(LC_ALL, name.c_str()) != nullptr) {
        std::setlocale(LC_ALL, "C");
        return true;
    }
    *built = true;
    const std::string target = kBuiltLocales + "/" + name;
    if (std::filesystem::exists(target + "/LC_NUMERIC")) {
        return true;
    }
    // Built aside and renamed into place, as test processes run side by side.
    std::error_code error;
    std::filesystem::create_directories(kBuiltLocales, error);
    const std::string aside = target + ".building-" + std::to_string(::getpid());
    const std::string language = name.substr(0, name.find('.'));
    const ShellResult made =
        RunShell("localedef -i " + ShellQuote(language) + " -f UTF-8 " + ShellQuote(aside));
    std::filesystem::rename(aside, target, error);
    std::filesystem::remove_all(aside, error);  // another process was first
    // localedef warns (status 1) about things that do not matter here.
    if (!std::filesystem::exists(target + "/LC_NUMERIC")) {
        *why_not = "localedef could not build " + name + ": " + made.output;
        return false;
    }
    return true;
}

}  // namespace

ScopedLocale::ScopedLocale(const std::string& name) {
    bool built = false;
    if (!Provide(name, &built, &why_not_)) {
        return;
    }
    if (built) {
        ::setenv("LOCPATH", kBuiltLocales.c_str(), 1);
    }
    active_ = std::setlocale(LC_ALL, name.c_str()) != nullptr;
    why_not_ = active_ ? "" : "setlocale refused " + name;
}

ScopedLocale::~ScopedLocale() {
    std::setlocale(LC_ALL, "C");
}

std::string LocaleEnvironment(const std::string& name, std::string* why_not) {
    bool built = false;
    if (!Provide(name, &built, why_not)) {
        return "";
    }
    const std::string locpath = built ? "LOCPATH=" + ShellQuote(kBuiltLocales) + " " : "";
    return locpath + "LANG=" + name + " LC_ALL=" + name;
}
