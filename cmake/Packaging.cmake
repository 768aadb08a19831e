# What is installed, and the packages made of it: a .deb on Linux
# (cmake --build build --target package), an NSIS installer and a zip on Windows
# (scripts/build-windows.sh).
include(GNUInstallDirs)

# The values reach CPack as written here (the NSIS lines hold backslashes).
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME tavon-datalogging)
set(CPACK_PACKAGE_VENDOR "Tavon Datalogging")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Uploads, browses and reports the datalog of Tavon gas detectors")
set(CPACK_PACKAGE_CONTACT "Tavon Datalogging <packages@tavon-datalogging.invalid>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tavon Datalogging")

set(tavon_programs tavon-datalogging tavon-datalog tavon-instrument)

if(WIN32)
  # The installer's parts: the programs, and the option to download instruments as they connect
  # (tavon-watch.exe, started from the user's Startup folder). The zip holds both.
  set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME programs)
  install(TARGETS tavon-watch RUNTIME DESTINATION . COMPONENT watcher)
  # Everything beside the programs, as Windows looks for DLLs there first. Our two libraries are
  # MeterTalk.dll and LinkSelect.dll, without the "lib" MinGW would give them.
  set_target_properties(LinkSelect MeterTalk PROPERTIES PREFIX "" IMPORT_PREFIX "")
  install(TARGETS ${tavon_programs} LinkSelect MeterTalk RUNTIME DESTINATION .)
  # The modules are found again here: a find_package in a module's folder is seen there only.
  find_package(Qt6 REQUIRED COMPONENTS Sql)
  find_package(QCustomPlotQt6 REQUIRED)
  foreach(module Core Gui Widgets Network PrintSupport Concurrent Sql)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
  endforeach()
  install(FILES $<TARGET_FILE:QCustomPlotQt6::QCustomPlotQt6> DESTINATION .)
  # Plugins, in the folders Qt looks for them in beside the program: the window system, the
  # native look, and the archive's drivers, SQLite for one's own and PostgreSQL for a team's.
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
  install(FILES $<TARGET_FILE:Qt6::QSQLiteDriverPlugin> $<TARGET_FILE:Qt6::QPSQLDriverPlugin>
          DESTINATION sqldrivers)
  # The map's backgrounds: tile stores and tile servers often hold JPEG tiles (PNG is built into
  # Qt), and a tile server over https needs a TLS backend. Windows' own (Schannel) needs no
  # library beside it; OpenSSL's is taken where a Qt has that one instead.
  install(FILES $<TARGET_FILE:Qt6::QJpegPlugin> DESTINATION imageformats)
  set(tavon_tls_plugins)
  foreach(backend QSchannelBackendPlugin QTlsBackendOpenSSLPlugin)
    if(TARGET Qt6::${backend})
      list(APPEND tavon_tls_plugins $<TARGET_FILE:Qt6::${backend}>)
    endif()
  endforeach()
  if(NOT tavon_tls_plugins)
    message(FATAL_ERROR "This Qt has no TLS backend plugin: tile servers over https would not "
                        "work. Build Qt with -DFEATURE_schannel=ON (scripts/build-windows.sh).")
  endif()
  install(FILES ${tavon_tls_plugins} DESTINATION tls)
  # PostgreSQL's client library, which the driver loads; scripts/build-windows.sh builds it
  # into Qt's own folder of DLLs.
  install(FILES $<TARGET_FILE_DIR:Qt6::Core>/libpq.dll DESTINATION .)
  # The compiler's own runtime, which the programs and Qt share.
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    install(FILES ${dll_path} DESTINATION .)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/resources/README-Windows.txt DESTINATION . RENAME README.txt)
  # The user manual beside the programs, as Help > User Guide shows it; its audit page links the
  # history format one folder up, as in the source tree.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/ DESTINATION manual)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/history-format.md DESTINATION .)

  set(CPACK_GENERATOR NSIS ZIP)
  # The programs and our libraries without their symbols.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME tavon-datalogging-${PROJECT_VERSION}-windows-x64)
  set(CPACK_NSIS_DISPLAY_NAME "Tavon Datalogging ${PROJECT_VERSION}")
  set(CPACK_NSIS_PACKAGE_NAME "Tavon Datalogging ${PROJECT_VERSION}")
  set(CPACK_NSIS_INSTALLED_ICON_NAME tavon-datalogging.exe)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  # The program keeps Settings.ini and its dumps and reports in the folder it starts in, and
  # the installation folder is not writable for users: the Start-menu entry starts it in a
  # folder of its own among the documents.
  string(CONCAT CPACK_NSIS_CREATE_ICONS_EXTRA
         "CreateDirectory '$DOCUMENTS\\Tavon Datalogging'\n"
         "SetOutPath '$DOCUMENTS\\Tavon Datalogging'\n"
         "CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Tavon Datalogging.lnk' "
         "'$INSTDIR\\tavon-datalogging.exe'\n"
         "SetOutPath '$INSTDIR'")
  set(CPACK_NSIS_DELETE_ICONS_EXTRA
      "Delete '$SMPROGRAMS\\$MUI_TEMP\\Tavon Datalogging.lnk'")

  include(${PROJECT_SOURCE_DIR}/cmake/WatcherOption.cmake)
else()
  # The two libraries are the programs' own: kept in a folder of the package, found through the
  # programs' run path.
  set(tavon_libdir ${CMAKE_INSTALL_LIBDIR}/tavon-datalogging)
  set_target_properties(${tavon_programs} PROPERTIES INSTALL_RPATH "$ORIGIN/../${tavon_libdir}")
  set_target_properties(LinkSelect MeterTalk PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${tavon_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS LinkSelect MeterTalk LIBRARY DESTINATION ${tavon_libdir})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/com.tavon.datalogging.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/tavon.xpm
          DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME tavon-datalogging.xpm)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/com.tavon.datalogging.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The watcher as a systemd user service; installed, never enabled: the user turns it on. It
  # names the program where the package puts it.
  if(NOT CPACK_PACKAGING_INSTALL_PREFIX)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  endif()
  set(TAVON_PACKAGE_BINDIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
  configure_file(${PROJECT_SOURCE_DIR}/resources/tavon-datalog-watch.service.in
                 ${CMAKE_BINARY_DIR}/tavon-datalog-watch.service @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/tavon-datalog-watch.service DESTINATION lib/systemd/user)
  # The user manual, as Help > User Guide shows it; its audit page links the history format one
  # folder up, as in the source tree.
  set(tavon_docdir ${CMAKE_INSTALL_DATADIR}/doc/tavon-datalogging)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/ DESTINATION ${tavon_docdir}/manual)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/history-format.md DESTINATION ${tavon_docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The Qt libraries from what the programs link; the platform plugins are loaded at run time,
  # so no link shows them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  if(TARGET Qt6::Sql)
    # The logbook's SQLite driver, a plugin as well.
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6sql6-sqlite")
  endif()
endif()

include(CPack)
