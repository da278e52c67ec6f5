# Page tests of reading approved files, of transfer requests and of the
# application's windows. Reads find their data through a file URL of their own
# folder; transfers and windows go to the reference application, whose journal
# NAME-journal.txt checks.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  tarsen_add_page_test(files-read PLUGIN ${plugin} HOME private
                       ARGS --user-agent Chrome/120.0 --url file://${TARSEN_PAGE_DIR}/files-read.html)
  # Browser memory refused for blocks over 40 bytes: a data URL that cannot be had.
  tarsen_add_page_test(files-memory PLUGIN ${plugin} HOME private
                       ARGS --memory-limit 40 --url file://${TARSEN_PAGE_DIR}/files-memory.html)
endif()

if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  set(plugin $<TARGET_FILE:tarsenweb>)
  foreach(page transfers-xferreq transfers-dest transfers-windows)
    tarsen_add_page_test(${page} PLUGIN ${plugin} HOME private SIM ARGS --user-agent Chrome/120.0)
  endforeach()
endif()
