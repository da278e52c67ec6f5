# Screenshots of the plug-in's area, checked pixel by pixel: png-probe reads
# the PNG that the page run writes and checks NAME-pixels.txt against it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PAGES_CAIRO REQUIRED IMPORTED_TARGET cairo)
add_executable(png-probe png-probe.cc)
target_link_libraries(png-probe PRIVATE PkgConfig::PAGES_CAIRO tarsen_warnings)

if(TARGET tarsenweb AND TARGET tarsen-browser)
  foreach(page view-shot plugin-view-screenshot)
    set(png ${CMAKE_CURRENT_BINARY_DIR}/${page}.png)
    tarsen_add_page_test(${page} PLUGIN $<TARGET_FILE:tarsenweb> HOME private PNG ${png})
    set_tests_properties(page.${page} PROPERTIES FIXTURES_SETUP ${page}-png)
    add_test(NAME page.${page}-pixels
             COMMAND png-probe --check ${png} ${CMAKE_CURRENT_SOURCE_DIR}/${page}-pixels.txt)
    set_tests_properties(page.${page}-pixels PROPERTIES FIXTURES_REQUIRED ${page}-png
                                                        LABELS pages)
  endforeach()
endif()
