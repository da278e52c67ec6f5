if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  set(plugin $<TARGET_FILE:tarsenweb>)
  tarsen_add_page_test(session-host PLUGIN ${plugin} HOME private SIM
                       ARGS --url http://good.example@WWW.Example.COM:8080/session-host.html)
  # A fixed access key, so the journal shows every header of each request.
  tarsen_add_page_test(relay PLUGIN ${plugin} HOME private SIM
                       SIM_ARGS --key relay-test-key --version-text 6.0.3-build.17)
endif()

if(TARGET tarsenweb AND TARGET tarsen-browser)
  # No application installed at all.
  tarsen_add_page_test(relay-noapp PAGE relay PLUGIN $<TARGET_FILE:tarsenweb> HOME private
                       ARGS --url file://${TARSEN_PAGE_DIR}/relay.html?noapp)
endif()
