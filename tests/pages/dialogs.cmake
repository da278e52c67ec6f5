# The file dialogs with the real plug-in; downloads into chosen folders go to
# the reference application. Panel settings by filter and system version, and
# the time-out in each browser, are the dialog unit tests' own.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  tarsen_add_page_test(dialogs PLUGIN $<TARGET_FILE:tarsenweb> HOME private SIM
                       ARGS --user-agent Chrome/120.0 --url file://${TARSEN_PAGE_DIR}/dialogs.html)
endif()
