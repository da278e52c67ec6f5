# tarsen_add_gtest(NAME SOURCES... [LIBS ...] [LABELS ...] [SERIAL])
# One GoogleTest executable; its cases are registered with CTest one by one,
# labelled with the first of LABELS (or "unit").
include(GoogleTest)
find_package(GTest REQUIRED)
function(tarsen_add_gtest name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main
                        GTest::gmock tarsen_warnings Threads::Threads)
  # Discovered tests take one label only (a list would be split into
  # separate properties): "threads" for suites that start threads, else "unit".
  set(label unit)
  if(T_LABELS)
    list(GET T_LABELS 0 label)
  endif()
  # SERIAL: cases that share machine-wide state (processes, fixed names) must
  # not run beside other tests.
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
                       PROPERTIES LABELS ${label} TIMEOUT 120 RUN_SERIAL ${serial})
endfunction()
