# Page tests of the plug-in itself. NAME-log.txt lists what the plug-in's log
# must hold; NAME-journal.txt what the reference application received.
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(plugin $<TARGET_FILE:tarsenweb>)
  tarsen_add_page_test(plugin-script PLUGIN ${plugin} HOME private)
  # A browser that lacks the drawing or the event model: the failure is
  # logged and the instances are created all the same.
  tarsen_add_page_test(plugin-no-coregraphics PAGE plugin-script PLUGIN ${plugin} HOME private
                       ARGS --no-coregraphics)
  tarsen_add_page_test(plugin-no-cocoa PAGE plugin-script PLUGIN ${plugin} HOME private
                       ARGS --no-cocoa-events)
endif()
# Drops name files of tests/pages/data, found from the page's URL; uploads of
# dropped files go to the application the plug-in launches. Hostile name
# lists and plug-ins destroyed mid-drop end normally in both policies.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  foreach(policy guarded literal)
    string(REPLACE "-guarded" "" name plugin-drop-${policy})
    tarsen_add_page_test(${name} PAGE plugin-drop EXPECT_LIKE plugin-drop PLUGIN ${plugin}
                         HOME private SIM ENV TARSEN_WEB_POLICY=${policy}
                         ARGS --url file://${CMAKE_CURRENT_SOURCE_DIR}/plugin-drop.html)
  endforeach()
endif()
