# quill_add_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s])
# One QtTest executable, run by CTest headless with a bound on its time.
#
# Only the executable links libusb-1.0: a test of the window (LIBS app) gets
# the simulated USB bus (fakeusb) in its place, and every test that links
# fakeusb is checked (readelf -d) not to need libusb-1.0.so at run time.
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
  if("app" IN_LIST T_LIBS AND NOT "fakeusb" IN_LIST T_LIBS)
    list(APPEND T_LIBS fakeusb)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp print_suppressions=0;TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  if("fakeusb" IN_LIST T_LIBS)
    add_test(NAME ${name}_links_no_libusb
             COMMAND ${CMAKE_COMMAND} -DBINARY=$<TARGET_FILE:${name}> -P ${CMAKE_SOURCE_DIR}/cmake/NoLibusb.cmake)
  endif()
endfunction()
