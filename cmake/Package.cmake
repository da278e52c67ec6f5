# Installation and the Debian package (cpack -G DEB in the build folder):
#   /usr/lib/tarsen-web/       tarsen-web-host, the plug-in, the desktop library, bin/open
#   /usr/bin/harlune-sim       the reference application
#   /usr/share/tarsen-web/extension, /usr/share/doc/tarsen-web
#   the host's manifest where Chromium and Firefox look system-wide.
# The programs find their libraries beside them ($ORIGIN), so the tree also
# works unpacked anywhere.
include(GNUInstallDirs)
set(TARSEN_LIB_DIR lib/tarsen-web)
set(TARSEN_HOST_PATH /usr/${TARSEN_LIB_DIR}/tarsen-web-host)

foreach(target tarsendesktop tarsenweb tarsen-web-host)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} LIBRARY DESTINATION ${TARSEN_LIB_DIR}
            RUNTIME DESTINATION ${TARSEN_LIB_DIR})
  endif()
endforeach()
if(TARGET open)
  set_target_properties(open PROPERTIES INSTALL_RPATH "$ORIGIN/..")
  install(TARGETS open RUNTIME DESTINATION ${TARSEN_LIB_DIR}/bin)
endif()
if(TARGET harlune-sim)
  install(TARGETS harlune-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY bridge/extension/ DESTINATION share/tarsen-web/extension)
install(FILES README.md docs/page-api.md docs/tarsen-web.d.ts docs/plugin-area.png
        DESTINATION share/doc/tarsen-web)

# The manifests name the host where the package puts it, whatever the prefix
# of this build.
set(manifests ${CMAKE_BINARY_DIR}/native-messaging)
add_custom_command(
  OUTPUT ${manifests}/etc/chromium/native-messaging-hosts/com.tarsen.web.json
         ${manifests}/usr/lib/mozilla/native-messaging-hosts/com.tarsen.web.json
  COMMAND ${PROJECT_SOURCE_DIR}/bridge/install-host --browser all --host ${TARSEN_HOST_PATH}
          --system ${manifests} > /dev/null
  DEPENDS ${PROJECT_SOURCE_DIR}/bridge/install-host ${PROJECT_SOURCE_DIR}/bridge/extension/manifest.json)
add_custom_target(native-messaging-manifests ALL DEPENDS
  ${manifests}/etc/chromium/native-messaging-hosts/com.tarsen.web.json)
install(FILES ${manifests}/etc/chromium/native-messaging-hosts/com.tarsen.web.json
        DESTINATION /etc/chromium/native-messaging-hosts)
install(FILES ${manifests}/usr/lib/mozilla/native-messaging-hosts/com.tarsen.web.json
        DESTINATION /usr/lib/mozilla/native-messaging-hosts)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarsen-web)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Tarsen Web developers <web@tarsen.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lets web pages drive Tarsen Harlune")
set(CPACK_PACKAGE_DESCRIPTION "The Tarsen Web plug-in, its native-messaging host and the\n\
browser extension for Chromium and Firefox ESR, with the reference\n\
application harlune-sim.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
# Library dependencies come from dpkg-shlibdeps; the desktop library is our own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/desktop)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "media-types")
set(CPACK_STRIP_FILES ON)
# A manifest under /etc is the administrator's to change: kept on upgrades.
file(WRITE ${CMAKE_BINARY_DIR}/deb/conffiles "/etc/chromium/native-messaging-hosts/com.tarsen.web.json\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/deb/conffiles)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, chromium (>= 121) | firefox-esr (>= 128)")
include(CPack)
