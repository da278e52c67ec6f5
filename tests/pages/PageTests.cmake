# tarsen_add_page_test(NAME [PAGE page] [PLUGIN path] [ARGS ...] [HOME private] [SIM]
#                      [SIM_ARGS ...] [ENV VAR=value ...] [EXPECT_FAIL regex] [PNG file]
#                      [EXPECT_LIKE other] [LABELS ...])
#
# Runs tests/pages/PAGE.html (PAGE defaults to NAME) in tarsen-browser. The page
# must finish cleanly (exit 0, no leak) or, with EXPECT_FAIL, fail with standard
# error matching the regular expression. NAME-expected.txt (when it exists)
# holds its exact console output. HOME private gives each run a fresh home
# folder with the plug-in's log folder; NAME-log.txt lists texts the log must
# hold. SIM installs harlune-sim (options SIM_ARGS) there for the plug-in to
# launch, stopped after the page; NAME-journal.txt lists texts its journal of
# received requests must hold (see check-log.sh). PNG names a screenshot the run
# must write. EXPECT_LIKE checks against other's files instead of NAME's.
set(TARSEN_PAGE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/RunPage.cmake)
# Pages that hold the original algorithms to their letter where the guarded
# policy refuses more (backslashes read as "/", unchecked uploads, approvals
# shared by every page host): they run under the literal policy. The guard
# pages walk the same roads in both.
set(TARSEN_LITERAL_PAGES dialogs-async-forms dialogs-sync-paths files-read transfers)
set(TARSEN_PAGE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tarsen_add_page_test name)
  cmake_parse_arguments(P "SIM" "PAGE;PLUGIN;HOME;EXPECT_FAIL;PNG;EXPECT_LIKE"
                        "ARGS;LABELS;SIM_ARGS;ENV" ${ARGN})
  if(NOT P_PAGE)
    set(P_PAGE ${name})
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
  # Lists reach the runner with "|" between their items.
  foreach(list ARGS SIM_ARGS ENV)
    string(REPLACE ";" "|" P_${list} "${P_${list}}")
  endforeach()
  add_test(NAME page.${name}
           COMMAND ${CMAKE_COMMAND} -DBROWSER=$<TARGET_FILE:tarsen-browser>
             -DPAGE=${TARSEN_PAGE_DIR}/${P_PAGE}.html -DEXPECT=${TARSEN_PAGE_DIR}/${P_EXPECT_LIKE}
             "-DARGS=${P_ARGS}" -DHOME_MODE=${P_HOME} "-DEXPECT_FAIL=${P_EXPECT_FAIL}"
             -DPNG=${P_PNG} -DSIM=${sim} "-DSIM_ARGS=${P_SIM_ARGS}" "-DPAGE_ENV=${P_ENV}"
             -P ${TARSEN_PAGE_RUNNER})
  # The host and the plug-ins start threads.
  set_tests_properties(page.${name} PROPERTIES LABELS "pages;threads;${P_LABELS}" TIMEOUT 120)
endfunction()
