// Linked into every program of a sanitizer build. glibc keeps the names of locales it loads
// from LOCPATH for the life of the process, and LeakSanitizer reports them at exit; they are
// not ours to free.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_add_sep\n";
}

// A suppression that matched is no finding: saying so on standard error would only add to
// what the tests read of a program's output.
extern "C" const char* __lsan_default_options();
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
