# Page tests of the plug-in itself, run in tarsen-browser. NAME-log.txt lists
# what the plug-in's log must hold; NAME-journal.txt what the reference
# application received.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  foreach(page plugin-script plugin-lifecycle plugin-view plugin-no-window)
    tarsen_add_page_test(${page} PLUGIN ${plugin} HOME private)
  endforeach()
  # A browser that lacks the drawing or the event model: the failure is
  # logged and the instance is created all the same.
  tarsen_add_page_test(plugin-negotiation PLUGIN ${plugin} HOME private ARGS --no-coregraphics)
  tarsen_add_page_test(plugin-negotiation-cocoa PAGE plugin-negotiation PLUGIN ${plugin}
                       HOME private ARGS --no-cocoa-events)
  # Drops name files of tests/pages/data: the page finds them from its URL.
  tarsen_add_page_test(plugin-drop PLUGIN ${plugin} HOME private
                       ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/plugin-drop.html)
  # Hostile name lists and pages that destroy their plug-in mid-drop end
  # normally in the literal policy too.
  tarsen_add_page_test(plugin-drop-literal PAGE plugin-drop EXPECT_LIKE plugin-drop PLUGIN ${plugin}
                       HOME private ENV TARSEN_WEB_POLICY=literal
                       ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/plugin-drop.html)
endif()

# With the reference application installed for the plug-in to launch.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  tarsen_add_page_test(plugin-relay PLUGIN ${plugin} HOME private SIM SIM_ARGS --progress-step 50)
  tarsen_add_page_test(plugin-drop-upload PLUGIN ${plugin} HOME private SIM
                       ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/plugin-drop-upload.html)
endif()
