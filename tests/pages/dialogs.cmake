# Page tests of the file dialogs with the real plug-in. The pages find their
# data files through a file URL of their own folder.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  foreach(page dialogs-sync dialogs-async dialogs-already-open)
    tarsen_add_page_test(${page} PLUGIN ${plugin} HOME private
                         ARGS --user-agent Chrome/120.0 --url file://${TARSEN_PAGE_DIR}/${page}.html)
  endforeach()
  # An unanswered synchronous open dialog closes itself after 43 s of the
  # virtual clock, in Firefox only.
  tarsen_add_page_test(dialogs-timeout PLUGIN ${plugin} HOME private
                       ARGS --user-agent Firefox/52.0)
endif()
