# tarsen_add_page_test(NAME [PAGE page] [PLUGIN path] [ARGS ...] [HOME private] [SIM]
#                      [SIM_ARGS ...] [ENV VAR=value ...] [EXPECT_FAIL regex] [PNG file]
#                      [EXPECT_LIKE other] [LABELS ...])
# Runs PAGE.html (default NAME; relative to this folder unless absolute) in tarsen-browser; it must
# exit 0 without a leak, or fail with standard error matching EXPECT_FAIL. NAME-expected.txt (else
# PAGE's) holds the exact console, and only an EXPECT_FAIL test may have none; NAME-log.txt and
# NAME-journal.txt texts the plug-in's log and harlune-sim's journal must hold (check-log.sh). HOME
# private: a fresh home; SIM: harlune-sim installed there; EXPECT_LIKE: another test's files.
set(TARSEN_PAGE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/RunPage.cmake)
# Pages held to the literal policy, where the guarded one refuses more (backslashes
# read as "/", unchecked uploads, approvals shared by every host); guard-roads runs both.
set(TARSEN_LITERAL_PAGES files-read transfers)
set(TARSEN_PAGE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tarsen_add_page_test name)
  cmake_parse_arguments(P "SIM" "PAGE;PLUGIN;HOME;EXPECT_FAIL;PNG;EXPECT_LIKE"
                        "ARGS;LABELS;SIM_ARGS;ENV" ${ARGN})
  if(NOT P_PAGE)
    set(P_PAGE ${name})
  endif()
  if(NOT IS_ABSOLUTE "${P_PAGE}")
    set(P_PAGE ${TARSEN_PAGE_DIR}/${P_PAGE})
  endif()
  if(NOT P_EXPECT_LIKE)
    set(P_EXPECT_LIKE ${name})
  endif()
  if(P_PLUGIN)
    list(PREPEND P_ARGS --plugin ${P_PLUGIN})
  endif()
  if(P_PNG)
    list(APPEND P_ARGS --screenshot ${P_PNG})
  endif()
  if(name IN_LIST TARSEN_LITERAL_PAGES)
    list(APPEND P_ENV TARSEN_WEB_POLICY=literal)
  endif()
  set(sim "")
  if(P_SIM)
    set(sim $<TARGET_FILE:harlune-sim>)
  endif()
  foreach(list ARGS SIM_ARGS ENV)
    string(REPLACE ";" "|" P_${list} "${P_${list}}")
  endforeach()
  add_test(NAME page.${name}
           COMMAND ${CMAKE_COMMAND} -DBROWSER=$<TARGET_FILE:tarsen-browser>
             -DPAGE=${P_PAGE}.html -DEXPECT=${TARSEN_PAGE_DIR}/${P_EXPECT_LIKE}
             "-DARGS=${P_ARGS}" -DHOME_MODE=${P_HOME} "-DEXPECT_FAIL=${P_EXPECT_FAIL}"
             -DPNG=${P_PNG} -DSIM=${sim} "-DSIM_ARGS=${P_SIM_ARGS}" "-DPAGE_ENV=${P_ENV}"
             -P ${TARSEN_PAGE_RUNNER})
  # The host and the plug-ins start threads.
  set_tests_properties(page.${name} PROPERTIES LABELS "pages;threads;${P_LABELS}" TIMEOUT 120)
endfunction()
