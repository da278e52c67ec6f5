# A screenshot of the plug-in's areas, checked pixel by pixel: png-probe reads
# the PNG that the page run writes and checks view-shot-pixels.txt against it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PAGES_CAIRO REQUIRED IMPORTED_TARGET cairo)
add_executable(png-probe png-probe.cc)
target_link_libraries(png-probe PRIVATE PkgConfig::PAGES_CAIRO tarsen_warnings)
if(TARGET tarsenweb AND TARGET tarsen-browser)
  set(png ${CMAKE_CURRENT_BINARY_DIR}/view-shot.png)
  tarsen_add_page_test(view-shot PLUGIN $<TARGET_FILE:tarsenweb> HOME private PNG ${png})
  add_test(NAME page.view-shot-pixels
           COMMAND png-probe ${png} ${CMAKE_CURRENT_SOURCE_DIR}/view-shot-pixels.txt)
  set_tests_properties(page.view-shot PROPERTIES FIXTURES_SETUP view-shot-png)
  set_tests_properties(page.view-shot-pixels PROPERTIES FIXTURES_REQUIRED view-shot-png
                                                        LABELS pages)
endif()
