# Page tests of the plug-in object: answers, instances, drops. plugin.html
# finds its files in tests/pages/data from its URL; uploads of dropped files
# go to the application the plug-in launches. Hostile name lists and plug-ins
# destroyed mid-drop end normally in both policies.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  set(plugin $<TARGET_FILE:tarsenweb>)
  set(url --url file://${CMAKE_CURRENT_SOURCE_DIR}/plugin.html)
  foreach(policy guarded literal)
    string(REPLACE "-guarded" "" name plugin-${policy})
    tarsen_add_page_test(${name} PAGE plugin EXPECT_LIKE plugin PLUGIN ${plugin} HOME private SIM
                         ENV TARSEN_WEB_POLICY=${policy} ARGS ${url})
  endforeach()
  # A browser that lacks the drawing or the event model: the failure is
  # logged and the instances are created all the same.
  tarsen_add_page_test(plugin-no-coregraphics PAGE plugin PLUGIN ${plugin} HOME private SIM
                       ARGS ${url} --no-coregraphics)
  tarsen_add_page_test(plugin-no-cocoa PAGE plugin PLUGIN ${plugin} HOME private SIM
                       ARGS ${url} --no-cocoa-events)
endif()
