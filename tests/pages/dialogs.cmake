# Page tests of the file dialogs with the real plug-in. The pages find their
# data files through a file URL of their own folder; downloads into chosen
# folders go to the reference application.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  set(plugin $<TARGET_FILE:tarsenweb>)
  set(url --url file://${TARSEN_PAGE_DIR}/dialogs.html)
  tarsen_add_page_test(dialogs PLUGIN ${plugin} HOME private SIM ARGS --user-agent Chrome/120.0 ${url})
  # Before 10.6 the save panel is started the older way, with the same answers.
  tarsen_add_page_test(dialogs-old-system PAGE dialogs EXPECT_LIKE dialogs PLUGIN ${plugin}
                       HOME private SIM ENV DESKTOP_SYSTEM_VERSION=10.5
                       ARGS --user-agent Chrome/120.0 ${url})
endif()
if(TARGET tarsenweb AND TARGET tarsen-browser)
  # Unanswered synchronous dialogs close themselves after 43 s of the virtual
  # clock in Firefox; in Chrome only the browser giving up on the page after
  # two real seconds ends them.
  tarsen_add_page_test(dialogs-timeout PLUGIN $<TARGET_FILE:tarsenweb> HOME private
                       ARGS --user-agent Firefox/52.0)
  tarsen_add_page_test(dialogs-left-open PAGE dialogs-timeout PLUGIN $<TARGET_FILE:tarsenweb>
                       HOME private ARGS --user-agent Chrome/120.0 --timeout 2
                       EXPECT_FAIL "did not finish within 2 s")
endif()
