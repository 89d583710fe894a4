#pragma once
// The users' locales, where printf and atof write and read "2,5": the system's when they
// are installed, else built with localedef into a private folder that LOCPATH names.

#include <string>

// Sets the C library's whole locale to `name` ("pt_BR.UTF-8") for the scope, as a Qt
// program does from the environment; back to "C" after.
class ScopedLocale {
  public:
    explicit ScopedLocale(const std::string& name);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool Active() const { return active_; }
    const std::string& WhyNot() const { return why_not_; }

  private:
    bool active_ = false;
    std::string why_not_;
};

// The environment a program needs to run in locale `name`: "LOCPATH=... LANG=... LC_ALL=..."
// for a shell command line; empty (with `why_not`) when the locale cannot be had.
std::string LocaleEnvironment(const std::string& name, std::string* why_not);

inline const char* const kUsersLocales[] = {"pt_BR.UTF-8", "de_DE.UTF-8"};
