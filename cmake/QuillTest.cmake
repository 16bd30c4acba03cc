# quill_add_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s])
# One QtTest executable, run by CTest headless with a bound on its time.
function(quill_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  # Under the thread checker every test carries the suppressions for Qt's own
  # uninstrumented internals (QtTest's watchdog, shared byte arrays).
  if(QUILL_TSAN AND NOT T_SOURCES MATCHES "tsanqtest")
    list(APPEND T_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/tsanqtest.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp print_suppressions=0;TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
endfunction()
