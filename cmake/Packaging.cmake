# Installing and packaging: what `cmake --install` puts where, the files the desktop needs (menu
# entry, icon theme, AppStream metainfo), the manual page and bash completion of quillmar-cli, and
# CPack's Debian package (`make package`). Included at the end of the top-level CMakeLists.txt, once
# every program target exists. The packaging sources live in packaging/.
include(GNUInstallDirs)

set(QM_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QM_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
# Where the screenshots named in the AppStream metainfo are published (the PNG files of
# `make screenshots`, under their own names).
set(QM_SCREENSHOT_BASE_URL "https://quillmar.invalid/screenshots" CACHE STRING
    "Web folder holding the published screenshots named in the AppStream metainfo")

# --- The programs ----------------------------------------------------------------------------------------
# Each program installs when it is built in this configuration: the desktop program is left out with
# QM_BUILD_UI=OFF, and the file-manager program quillmar-cml comes with src/shellext.
foreach(program quillmar quillmar-cli quillmar-cml)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  endif()
endforeach()

# --- The desktop's files -----------------------------------------------------------------------------------
set(QM_DESKTOP_FILE ${QM_PACKAGING_DIR}/quillmar.desktop)
set(QM_METAINFO_FILE ${QM_PACKAGING_OUT}/com.brelkan.quillmar.metainfo.xml)
configure_file(${QM_PACKAGING_DIR}/com.brelkan.quillmar.metainfo.xml.in ${QM_METAINFO_FILE} @ONLY)
if(TARGET quillmar)
  install(FILES ${QM_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
  install(FILES ${QM_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT programs)
  install(FILES ${QM_PACKAGING_DIR}/quillmar.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT programs)
endif()

# The icon theme's sizes, drawn at build time with the project's icon rasteriser (tools/icons).
set(QM_APP_ICON_SIZES 16 22 24 32 48 64 128 256)
add_executable(qm_make_app_icon ${QM_PACKAGING_DIR}/MakeAppIcon.cpp)
target_link_libraries(qm_make_app_icon PRIVATE qm_icondraw)
qm_target_warnings(qm_make_app_icon)
set(QM_APP_ICON_PNGS)
foreach(size IN LISTS QM_APP_ICON_SIZES)
  list(APPEND QM_APP_ICON_PNGS ${QM_PACKAGING_OUT}/icons/hicolor/${size}x${size}/apps/quillmar.png)
endforeach()
add_custom_command(OUTPUT ${QM_APP_ICON_PNGS}
  COMMAND qm_make_app_icon ${QM_PACKAGING_OUT}/icons ${QM_APP_ICON_SIZES}
  DEPENDS qm_make_app_icon
  COMMENT "Drawing the program's icon at ${QM_APP_ICON_SIZES} pixels")
add_custom_target(qm_app_icons ALL DEPENDS ${QM_APP_ICON_PNGS})
if(TARGET quillmar)
  install(DIRECTORY ${QM_PACKAGING_OUT}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
          COMPONENT programs)
endif()

# --- quillmar-cli's manual page and bash completion, from its command table ---------------------------------
if(TARGET qm_cli)
  add_executable(qm_make_cli_docs ${QM_PACKAGING_DIR}/MakeCliDocs.cpp)
  target_link_libraries(qm_make_cli_docs PRIVATE qm_cli)
  qm_target_warnings(qm_make_cli_docs)
  set(QM_CLI_MAN ${QM_PACKAGING_OUT}/quillmar-cli.1)
  set(QM_CLI_COMPLETION ${QM_PACKAGING_OUT}/quillmar-cli.bash)
  add_custom_command(OUTPUT ${QM_CLI_MAN} ${QM_CLI_MAN}.gz ${QM_CLI_COMPLETION}
    COMMAND qm_make_cli_docs --man ${QM_CLI_MAN} --completion ${QM_CLI_COMPLETION}
    # Debian keeps manual pages compressed; -n leaves the name and time out, so the file is the same
    # for the same text.
    COMMAND gzip -9nf -k ${QM_CLI_MAN}
    DEPENDS qm_make_cli_docs
    COMMENT "Writing the manual page and bash completion of quillmar-cli")
  add_custom_target(qm_cli_docs ALL DEPENDS ${QM_CLI_MAN}.gz ${QM_CLI_COMPLETION})
  install(FILES ${QM_CLI_MAN}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
  install(FILES ${QM_CLI_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME quillmar-cli COMPONENT programs)
endif()

# --- Tests of what is installed ------------------------------------------------------------------------------
# The validators come from scripts/install-deps (desktop-file-utils, appstream); a missing one fails
# its test with "not found".
add_test(NAME packaging_desktop_file COMMAND desktop-file-validate ${QM_DESKTOP_FILE})
add_test(NAME packaging_metainfo COMMAND appstreamcli validate --no-net --explain ${QM_METAINFO_FILE})
find_package(Python3 REQUIRED COMPONENTS Interpreter)
string(REPLACE ";" "," QM_APP_ICON_SIZE_LIST "${QM_APP_ICON_SIZES}")
add_test(NAME packaging_icons COMMAND ${Python3_EXECUTABLE} ${QM_PACKAGING_DIR}/check-icons.py
         ${QM_PACKAGING_OUT}/icons/hicolor ${QM_APP_ICON_SIZE_LIST} ${QM_PACKAGING_DIR}/quillmar.svg)
if(TARGET qm_cli)
  add_test(NAME packaging_cli_docs COMMAND bash ${QM_PACKAGING_DIR}/check-cli-docs.sh ${QM_CLI_MAN} ${QM_CLI_COMPLETION}
           $<TARGET_FILE:quillmar-cli>)
endif()
foreach(program quillmar quillmar-cli)
  if(TARGET ${program})
    add_test(NAME packaging_${program}_version COMMAND ${program} --version)
    set_tests_properties(packaging_${program}_version PROPERTIES
      PASS_REGULAR_EXPRESSION "^${program} ${PROJECT_VERSION_MAJOR}\\.${PROJECT_VERSION_MINOR}\\.[0-9]+\\.[0-9]+"
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endforeach()

# --- The Debian package (CPack; `make package`, `make package-check`) ------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brelkan")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "single-user vault for passwords, files and messages")
# The long description; CPack indents its lines for the control file.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmar keeps a person's secrets in one encrypted file, a Safe: a password\nrepository of typed entries in a tree of categories, a File Locker for\nencrypted files, encrypted messages for other people, and reminders, with\nbackup, restore and repair. The desktop program is quillmar, and\nquillmar-cli keeps the same Safes from a terminal or a script.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmar maintainers <maintainers@quillmar.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: the packages of the shared libraries the programs actually link, as dpkg-shlibdeps finds
# them, plus what the programs start rather than link (xdg-open and xdg-email for documents, web
# addresses and mail).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
