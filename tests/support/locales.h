#pragma once
// The users' locales, where printf writes "2,5": the system's, else built with localedef.

#include <string>

// The C library's whole locale `name` for the scope, as a Qt program sets it; "C" after.
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

// "LOCPATH=... LANG=... LC_ALL=..." for a shell command line; empty (and why) when not had.
std::string LocaleEnvironment(const std::string& name, std::string* why_not);

inline const char* const kUsersLocales[] = {"pt_BR.UTF-8", "de_DE.UTF-8"};
