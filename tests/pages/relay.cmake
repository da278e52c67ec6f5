# Page tests of sessions and relayed requests against the reference
# application: the console shows what the page saw, NAME-journal.txt what the
# application received, NAME-log.txt what the plug-in logged.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  set(plugin $<TARGET_FILE:tarsenweb>)
  tarsen_add_page_test(session-host PLUGIN ${plugin} HOME private SIM
                       ARGS --url http://good.example@WWW.Example.COM:8080/session-host.html)
  tarsen_add_page_test(session-file PLUGIN ${plugin} HOME private SIM
                       ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/session-file.html)
  tarsen_add_page_test(session-idn PAGE session-file PLUGIN ${plugin} HOME private SIM
                       ARGS --url http://BÜcher.Example:8080/session-file.html)

  # A fixed access key, so the journal shows every header of each request.
  tarsen_add_page_test(relay-headers PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --key relay-test-key)
  # The approved file and the chosen folder are in tests/pages/data.
  tarsen_add_page_test(relay-refusals PLUGIN ${plugin} HOME private SIM
                       ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/relay-refusals.html)
  tarsen_add_page_test(relay-down PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --misbehave close --misbehave-path /v5/harlune/broken)
  tarsen_add_page_test(relay-version PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --version-text 6.0.3-build.17 --key version-key)
  tarsen_add_page_test(relay-version-empty PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --version-empty)
  # Each transfer is done after two activity polls.
  tarsen_add_page_test(relay-events PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --progress-step 50)
  tarsen_add_page_test(relay-destroy PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --misbehave hang --misbehave-path /v5/harlune/hold)
endif()

if(TARGET tarsenweb AND TARGET tarsen-browser)
  # No application installed at all.
  tarsen_add_page_test(relay-noapp PLUGIN $<TARGET_FILE:tarsenweb> HOME private)
endif()
