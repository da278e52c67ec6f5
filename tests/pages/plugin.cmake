# The plug-in object: answers, instances, drops (of files in tests/pages/data,
# uploaded to the application the plug-in launches). Hostile name lists and
# plug-ins destroyed mid-drop end normally in both policies.
if(TARGET tarsenweb AND TARGET tarsen-browser AND TARGET harlune-sim)
  set(plugin $<TARGET_FILE:tarsenweb>)
  set(url --url file://${CMAKE_CURRENT_SOURCE_DIR}/plugin.html)
  foreach(policy guarded literal)
    string(REPLACE "-guarded" "" name plugin-${policy})
    tarsen_add_page_test(${name} PAGE plugin EXPECT_LIKE plugin PLUGIN ${plugin} HOME private SIM
                         ENV TARSEN_WEB_POLICY=${policy} ARGS ${url})
  endforeach()
  # Without the drawing or the event model: logged, and instances made all the same.
  foreach(model coregraphics cocoa-events)
    tarsen_add_page_test(plugin-no-${model} PAGE plugin PLUGIN ${plugin} HOME private SIM
                         ARGS ${url} --no-${model})
  endforeach()
endif()
