# tarsen_add_page_test(NAME [PAGE page] [PLUGIN path] [ARGS ...] [HOME private]
#                      [EXPECT_FAIL regex] [PNG file])
#
# Runs tests/pages/NAME.html (or PAGE.html, so one page can run several ways)
# in tarsen-browser and compares its console output with
# tests/pages/NAME-expected.txt (when that file exists). The page must
# finish cleanly (exit 0, no leak), or with EXPECT_FAIL, fail with a message on
# standard error that matches the regular expression. HOME private gives the
# page a fresh temporary home folder for each run (with the plug-in's log
# folder); tests/pages/NAME-log.txt then lists texts its log must hold.
# SIM installs harlune-sim as the desktop application bundle in that home
# (SIM_ARGS are its options), for the plug-in to launch; it is stopped after
# the page, and tests/pages/NAME-journal.txt lists texts its journal of
# received requests must hold, in order. PNG names a screenshot the
# run must have written. ENV sets VAR=value entries in the page's environment.
# EXPECT_LIKE other checks against other's expected, log and journal files (a
# second run of one page that must answer the same).
set(TARSEN_PAGE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/RunPage.cmake)
# Pages that hold the original algorithms to their letter where the guarded
# policy refuses more (backslashes read as "/", unchecked uploads, approvals
# shared by every page host): they run under the literal policy. The guard
# pages walk the same roads in both.
set(TARSEN_LITERAL_PAGES dialogs-async-forms dialogs-sync-paths files-read transfers
    robust-hostile)
set(TARSEN_PAGE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tarsen_add_page_test name)
  cmake_parse_arguments(P "SIM" "PAGE;PLUGIN;HOME;EXPECT_FAIL;PNG;EXPECT_LIKE" "ARGS;LABELS;SIM_ARGS;ENV" ${ARGN})
  if(NOT P_PAGE)
    set(P_PAGE ${name})
  endif()
  set(args ${P_ARGS})
  if(P_PLUGIN)
    list(PREPEND args --plugin ${P_PLUGIN})
  endif()
  if(P_PNG)
    list(APPEND args --screenshot ${P_PNG})
  endif()
  string(REPLACE ";" "|" args "${args}")
  set(sim "")
  if(P_SIM)
    set(sim $<TARGET_FILE:harlune-sim>)
  endif()
  string(REPLACE ";" "|" sim_args "${P_SIM_ARGS}")
  set(expect_name ${name})
  if(P_EXPECT_LIKE)
    set(expect_name ${P_EXPECT_LIKE})
  endif()
  if(name IN_LIST TARSEN_LITERAL_PAGES)
    list(APPEND P_ENV TARSEN_WEB_POLICY=literal)
  endif()
  string(REPLACE ";" "|" env "${P_ENV}")
  add_test(NAME page.${name}
           COMMAND ${CMAKE_COMMAND}
             -DBROWSER=$<TARGET_FILE:tarsen-browser>
             -DPAGE=${TARSEN_PAGE_DIR}/${P_PAGE}.html
             -DEXPECTED=${TARSEN_PAGE_DIR}/${expect_name}-expected.txt
             -DLOG_EXPECTED=${TARSEN_PAGE_DIR}/${expect_name}-log.txt
             "-DARGS=${args}"
             -DHOME_MODE=${P_HOME}
             "-DEXPECT_FAIL=${P_EXPECT_FAIL}"
             -DPNG=${P_PNG}
             -DSIM=${sim}
             "-DSIM_ARGS=${sim_args}"
             "-DPAGE_ENV=${env}"
             -DJOURNAL_EXPECTED=${TARSEN_PAGE_DIR}/${expect_name}-journal.txt
             -P ${TARSEN_PAGE_RUNNER})
  # The host and the plug-ins start threads.
  set_tests_properties(page.${name} PROPERTIES LABELS "pages;threads;${P_LABELS}" TIMEOUT 120)
endfunction()
