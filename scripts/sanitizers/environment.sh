# Sanitizer settings for running sanitized builds (sourced by test.sh and fuzz.sh).
# Every report ends the process with a failure; leaks are checked at exit.
_framewright_sanitizers="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# fast_unwind_on_malloc=0: third-party code built without frame pointers (the
# camera plugins OpenCV loads and unloads again) cuts the fast allocation
# stacks short, and the suppressions by library would then match nothing.
export ASAN_OPTIONS="fast_unwind_on_malloc=0:detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$_framewright_sanitizers/lsan.supp:print_suppressions=0"
if command -v llvm-symbolizer >/dev/null 2>&1; then
    export ASAN_SYMBOLIZER_PATH="$(command -v llvm-symbolizer)"
fi
unset _framewright_sanitizers
