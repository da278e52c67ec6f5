if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  tarsen_add_page_test(robust-arguments PLUGIN ${plugin} HOME private LABELS robustness)
endif()
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  # Thousands of logged connections and 10 MB strings are slow under the
  # sanitizers; the browser's limit only guards against a page that never ends.
  set(slow_page --timeout 240)
  tarsen_add_page_test(robust-faults PLUGIN ${plugin} HOME private SIM LABELS robustness
                       ARGS ${slow_page})
  tarsen_add_page_test(transfers PLUGIN ${plugin} HOME private SIM LABELS robustness
                       ARGS ${slow_page} --user-agent Chrome/120.0
                            --url file://${TARSEN_PAGE_DIR}/transfers.html)
  # A hundred sessions close at once; their objects are written out here.
  set(OBJECTS "")
  foreach(i RANGE 99)
    string(APPEND OBJECTS "<object type=\"application/x-tarsen-web\" id=\"p${i}\"></object>\n")
  endforeach()
  configure_file(robust-close.html robust-close.html @ONLY)
  tarsen_add_page_test(robust-close PAGE ${CMAKE_CURRENT_BINARY_DIR}/robust-close PLUGIN ${plugin}
                       HOME private SIM LABELS robustness ARGS --timeout 30)
  set_tests_properties(page.robust-faults page.transfers PROPERTIES TIMEOUT 300)
  tarsen_add_page_test(robust-bounds PLUGIN ${plugin} HOME private SIM LABELS robustness
                       SIM_ARGS --misbehave hang --misbehave-path /v5/harlune/hang
                       ENV TARSEN_TEST_ONLY_LINK_WAIT_MS=2000 ARGS --timeout 120)
  # A hostile page on every road to the user's files, in both policies.
  foreach(policy guarded literal)
    set(name guard-roads)
    set(query "")
    if(policy STREQUAL literal)
      set(name guard-roads-literal)
      set(query "?literal")
    endif()
    tarsen_add_page_test(${name} PAGE guard-roads PLUGIN ${plugin} HOME private SIM
                         LABELS robustness ENV TARSEN_WEB_POLICY=${policy}
                         ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/guard-roads.html${query})
  endforeach()
endif()
