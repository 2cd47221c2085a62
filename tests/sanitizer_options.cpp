// The sanitizer options of the sanitized test programs, built into them:
// ctest hands a test one environment variable only. fontconfig loses a few
// small blocks while parsing its configuration (under
// FcInitLoadConfigAndFonts, through expat); nothing of ours holds them.
extern "C" const char* __asan_default_options() { return "halt_on_error=1:fast_unwind_on_malloc=0"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:FcInitLoadConfigAndFonts\n"; }
