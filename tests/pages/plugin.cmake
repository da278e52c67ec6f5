# Page tests of the plug-in itself, run in tarsen-browser. NAME-log.txt lists
# what the plug-in's log must hold.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  foreach(page plugin-script plugin-lifecycle)
    tarsen_add_page_test(${page} PLUGIN ${plugin} HOME private)
  endforeach()
  # A browser that lacks the drawing or the event model: the failure is
  # logged and the instance is created all the same.
  tarsen_add_page_test(plugin-negotiation PLUGIN ${plugin} HOME private ARGS --no-coregraphics)
endif()

# With the reference application installed for the plug-in to launch.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  tarsen_add_page_test(plugin-relay PLUGIN ${plugin} HOME private SIM SIM_ARGS --progress-step 50)
endif()
