# kippets_add_test(<name> SOURCES <files...> [LIBS <targets...>] [WRAPPER <command...>])
# One QtTest executable per test class, registered with ctest, run offscreen. Each test puts
# its data and preferences in temporary folders through the test support library.
set(KIPPETS_LSAN_SUPPRESSIONS ${CMAKE_SOURCE_DIR}/tests/lsan.supp)
# The first word of every test's command: a test that skipped a case and failed none exits with
# KIPPETS_SKIP_RETURN_CODE, which every test of tests/CMakeLists.txt is given as SKIP_RETURN_CODE,
# so that ctest reports it as skipped (see the script).
set(KIPPETS_TEST_RUNNER ${CMAKE_SOURCE_DIR}/scripts/report-skips)
set(KIPPETS_SKIP_RETURN_CODE 77)

function(kippets_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;WRAPPER" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test kippets_testsupport ${ARG_LIBS})
    # A test that calls nothing of the shared support library must still load it for its
    # isolating start-up hook, whatever the linker's default.
    target_link_options(${name} PRIVATE LINKER:--no-as-needed)
    add_test(NAME ${name} COMMAND ${KIPPETS_TEST_RUNNER} ${ARG_WRAPPER} $<TARGET_FILE:${name}>)
    # Tesseract's OpenMP threads spin while they wait, and on a busy machine (tests run in
    # parallel) one small page then takes more than half a minute instead of one second.
    # One locale whatever the caller's: in the POSIX locale (a login without LANG, as `su -`
    # gives) Qt moves itself to C.UTF-8 as it starts, and LeakSanitizer's check at the exit of a
    # test then crashed (DecoderAnswerBoundsTest, every run).
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "LC_ALL=C.UTF-8;OMP_THREAD_LIMIT=1;OMP_WAIT_POLICY=PASSIVE;QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${KIPPETS_LSAN_SUPPRESSIONS}:print_suppressions=0;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;QT_LOGGING_RULES=qt.qpa.*=false")
endfunction()
