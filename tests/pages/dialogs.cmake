# Page tests of the file dialogs with the real plug-in. The pages find their
# data files through a file URL of their own folder.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  foreach(page dialogs-sync dialogs-async dialogs-already-open dialogs-async-stop dialogs-filters
               dialogs-async-forms)
    tarsen_add_page_test(${page} PLUGIN ${plugin} HOME private
                         ARGS --user-agent Chrome/120.0 --url file://${TARSEN_PAGE_DIR}/${page}.html)
  endforeach()
  # An unanswered synchronous open dialog closes itself after 43 s of the
  # virtual clock, in Firefox only.
  tarsen_add_page_test(dialogs-timeout PLUGIN ${plugin} HOME private
                       ARGS --user-agent Firefox/52.0)
  # The same left open in both: in Chrome it stays up, and only the browser
  # giving up on the page after two real seconds ends it.
  tarsen_add_page_test(dialogs-left-open-chrome PAGE dialogs-left-open PLUGIN ${plugin}
                       HOME private ARGS --user-agent Chrome/120.0 --timeout 2
                       EXPECT_FAIL "did not finish within 2 s")
  tarsen_add_page_test(dialogs-left-open-firefox PAGE dialogs-left-open PLUGIN ${plugin}
                       HOME private ARGS --user-agent Firefox/52.0)
  # Before 10.6 the save panel is started the older way.
  tarsen_add_page_test(dialogs-old-system PLUGIN ${plugin} HOME private
                       ENV DESKTOP_SYSTEM_VERSION=10.5)
endif()

# Chosen folders and saved-to paths checked by downloads that the reference
# application receives; dialogs-road goes from an asynchronous folder dialog
# to one accepted and one refused download.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  foreach(page dialogs-sync-paths dialogs-road)
    tarsen_add_page_test(${page} PLUGIN ${plugin} HOME private SIM
                         ARGS --user-agent Chrome/120.0 --url file://${TARSEN_PAGE_DIR}/${page}.html)
  endforeach()
endif()
