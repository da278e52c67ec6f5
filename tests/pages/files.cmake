# Page tests of reading approved files. Reads find their data through a file
# URL of their own folder.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  # Dropped and chosen paths with slashes, backslashes and colons, read back.
  tarsen_add_page_test(files-read PLUGIN ${plugin} HOME private ARGS --user-agent Chrome/120.0
                       --url file://${TARSEN_PAGE_DIR}/files-read.html)
  # Browser memory refused for blocks over 40 bytes: a data URL that cannot be had.
  tarsen_add_page_test(files-memory PLUGIN ${plugin} HOME private
                       ARGS --memory-limit 40 --url file://${TARSEN_PAGE_DIR}/files-memory.html)
endif()
