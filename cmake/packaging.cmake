# Installing and packaging. `cmake --install <build>` puts what the build made in place;
# `cmake --build <build> --target package` makes the release archive:
#   Linux (a native preset): bsopanel-<version>-linux-<arch>.tar.gz with bin/panelhost and
#     lib/bsopanel/ (the plugin module with its language and help files), as installed;
#   win32 preset: bsopanel-<version>-win32.zip with the folder bsopanel/ (the DLL, its language
#     and help files, an install text) to copy into the host's plugins folder.
file(GLOB BSOPANEL_LANGUAGE_FILES ${CMAKE_SOURCE_DIR}/plugin/lang/*.lng ${CMAKE_SOURCE_DIR}/plugin/lang/*.hlp)
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
  set(archive bsopanel-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${BSOPANEL_PACKAGE_DIR}/stage
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${BSOPANEL_PACKAGE_DIR}/stage/${archive}
            --component bsopanel
    COMMAND ${CMAKE_COMMAND} -E chdir ${BSOPANEL_PACKAGE_DIR}/stage
            ${CMAKE_COMMAND} -E tar czf ${BSOPANEL_PACKAGE_DIR}/${archive}.tar.gz ${archive}
    DEPENDS panelhost bsopanel
    COMMENT "Packing ${BSOPANEL_PACKAGE_DIR}/${archive}.tar.gz"
    VERBATIM)
endif()
