# Installing and packaging. `cmake --install <build>` puts what the build made in place;
# `cmake --build <build> --target package` makes the release archive:
#   Linux (a native preset): bsopanel-<version>-linux-<arch>.tar.gz with bin/panelhost and
#     lib/bsopanel/ (the plugin module with its language and help files), as installed, and
#     the Debian package bsopanel_<version>_<arch>.deb of the same files under /usr, with the
#     manual page panelhost(1) (CPack; its library dependencies found by dpkg-shlibdeps);
#   win32 preset: bsopanel-<version>-win32.zip with the folder bsopanel/ (the DLL, its language
#     and help files, an install text) to copy into the host's plugins folder.
file(GLOB BSOPANEL_LANGUAGE_FILES ${CMAKE_SOURCE_DIR}/plugin/lang/*.lng ${CMAKE_SOURCE_DIR}/plugin/lang/*.hlf)
set(BSOPANEL_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)

if(WIN32)
  # The product folder, as it lies in the host's plugins folder.
  install(TARGETS bsopanel RUNTIME DESTINATION bsopanel COMPONENT bsopanel)
  install(FILES ${BSOPANEL_LANGUAGE_FILES} DESTINATION bsopanel COMPONENT bsopanel)
  # The install text goes to Windows users: CR LF line ends.
  configure_file(${CMAKE_SOURCE_DIR}/cmake/install-win32.txt ${CMAKE_BINARY_DIR}/INSTALL.txt
                 NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/INSTALL.txt DESTINATION bsopanel COMPONENT bsopanel)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(archive bsopanel-${PROJECT_VERSION}-win32)
    add_custom_target(package
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${BSOPANEL_PACKAGE_DIR}/stage
      COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${BSOPANEL_PACKAGE_DIR}/stage
              --component bsopanel
      COMMAND ${CMAKE_COMMAND} -E chdir ${BSOPANEL_PACKAGE_DIR}/stage
              ${CMAKE_COMMAND} -E tar cf ${BSOPANEL_PACKAGE_DIR}/${archive}.zip --format=zip bsopanel
      DEPENDS bsopanel
      COMMENT "Packing ${BSOPANEL_PACKAGE_DIR}/${archive}.zip"
      VERBATIM)
  endif()
elseif(BSOPANEL_HOST)
  include(GNUInstallDirs)
  install(TARGETS panelhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT bsopanel)
  # panelhost looks for the plugin in lib/bsopanel beside its bin directory.
  install(TARGETS bsopanel LIBRARY DESTINATION lib/bsopanel COMPONENT bsopanel)
  install(FILES ${BSOPANEL_LANGUAGE_FILES} DESTINATION lib/bsopanel COMPONENT bsopanel)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT bsopanel)

  # The manual page, compressed as Debian keeps manual pages.
  set(manual ${CMAKE_BINARY_DIR}/man/panelhost.1)
  configure_file(${CMAKE_SOURCE_DIR}/host/panelhost/panelhost.1 ${manual} @ONLY)
  add_custom_command(OUTPUT ${manual}.gz
    COMMAND gzip -9 -n -f -k ${manual}
    DEPENDS ${manual}
    COMMENT "Compressing the manual page panelhost(1)"
    VERBATIM)
  add_custom_target(panelhost_manual ALL DEPENDS ${manual}.gz)
  install(FILES ${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT bsopanel)

  # The Debian package, for sysops who install their mailer and tosser that way. Its CPack
  # configuration goes under a name of its own: the standard name would make CMake add a
  # `package` target of its own beside the one below.
  set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackDebConfig.cmake)
  set(CPACK_SOURCE_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackDebSourceConfig.cmake)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME bsopanel)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DIRECTORY ${BSOPANEL_PACKAGE_DIR})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};bsopanel;bsopanel;/")
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_CONTACT "bsopanel developers <bsopanel@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FidoNet BSO outbound browser for the terminal")
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "panelhost shows a Binkley-style outbound (BSO), as binkd and other FidoNet mailers\n"
      "keep it, in a text-mode panel: which links have mail or files waiting and what one\n"
      "link has queued. It polls links, requests and attaches files, changes a queued\n"
      "file's flavor and takes files out of the outbound, under the link's busy flag.\n"
      "It runs the bsopanel plugin of the file manager in a stand-in host.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS binkd)
  include(CPack)

  set(archive bsopanel-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${BSOPANEL_PACKAGE_DIR}/stage
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${BSOPANEL_PACKAGE_DIR}/stage/${archive}
            --component bsopanel
    COMMAND ${CMAKE_COMMAND} -E chdir ${BSOPANEL_PACKAGE_DIR}/stage
            ${CMAKE_COMMAND} -E tar czf ${BSOPANEL_PACKAGE_DIR}/${archive}.tar.gz ${archive}
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${CPACK_OUTPUT_CONFIG_FILE}
    DEPENDS panelhost bsopanel panelhost_manual
    COMMENT "Packing ${BSOPANEL_PACKAGE_DIR}/${archive}.tar.gz and the Debian package"
    VERBATIM)
endif()
