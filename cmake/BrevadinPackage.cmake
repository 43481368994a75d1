# A Debian package of the viewer and the exporter: `cpack -G DEB` in a build
# tree configured with -DCMAKE_INSTALL_PREFIX=/usr (scripts/package-deb.sh does
# both). The programs find the help page in share/brevadin/help and keep their
# settings and caches in ~/.config/Brevadin, since /usr/bin is not writable.
include(GNUInstallDirs)

if(BREVADIN_GUI)
  install(TARGETS brevadin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES app/help/index.html DESTINATION ${CMAKE_INSTALL_DATADIR}/brevadin/help)
  install(FILES app/brevadin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES app/brevadin.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES app/brevadin.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(TARGETS brevadin-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brevadin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brevadin")
set(CPACK_PACKAGE_CONTACT "Brevadin developers <brevadin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Web-server access log viewer (Japanese user interface)")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads W3C extended, NCSA and IIS access logs into tabbed tables, shows client \
addresses with their host names and writes tables as XML or CSV. brevadin-export does \
the same from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
# Libraries are found by dpkg-shlibdeps where it is installed; the platform
# plug-in, Qt's Japanese texts and a Japanese font are loaded at run time, so
# no tool can see them.
set(brevadin_runtime "")
if(BREVADIN_GUI)
  set(brevadin_runtime "qt6-qpa-plugins, qt6-translations-l10n, \
fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
endif()
find_program(BREVADIN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BREVADIN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${brevadin_runtime}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libpugixml1v5")
  if(BREVADIN_GUI)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6, libqt6gui6, libqt6widgets6, \
libqt6network6, libqt6charts6, libqt6concurrent6, ${brevadin_runtime}")
  endif()
endif()
include(CPack)
