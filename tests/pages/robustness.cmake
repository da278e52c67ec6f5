# Robustness page tests: the application failing mid-request, thousands of
# queued requests, hostile pages and wrong arguments. Each runs with the
# reference application except the argument page.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  tarsen_add_page_test(robust-arguments PLUGIN ${plugin} HOME private LABELS robustness)
endif()
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  tarsen_add_page_test(robust-faults PLUGIN ${plugin} HOME private SIM LABELS robustness)
  tarsen_add_page_test(robust-load PLUGIN ${plugin} HOME private SIM LABELS robustness)
  # The picked file, the chosen folder and the symbolic link are in tests/pages/data.
  tarsen_add_page_test(robust-hostile PLUGIN ${plugin} HOME private SIM LABELS robustness
                       ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/robust-hostile.html)
endif()
if(TEST page.robust-load)
  # Ten thousand connections, each logged: slow under the sanitizers.
  set_tests_properties(page.robust-load PROPERTIES TIMEOUT 300)
endif()
