# Release archives laid out as users run them: the front ends at the top,
# the tools Skinferry starts in needed_Exes/, and beside them the user guide
# README.txt (not the developer README) and LICENSE.
# Windows: a ZIP of the .exe files, texts with CR LF line ends for Notepad;
# Linux: a tarball with the same layout, texts with LF.
# The programs come from the install rules roadfire_program declares, so a
# program that has not been written yet is simply not in the archive.
# Made by scripts/package.sh, which runs cpack for each preset into dist/.
if(WIN32)
  set(ROADFIRE_TEXT_NEWLINES CRLF)
else()
  set(ROADFIRE_TEXT_NEWLINES UNIX)
endif()
# The guide carries the project version.
configure_file(${CMAKE_SOURCE_DIR}/docs/user-guide.txt.in ${CMAKE_BINARY_DIR}/package-texts/README.txt
  @ONLY NEWLINE_STYLE ${ROADFIRE_TEXT_NEWLINES})
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package-texts/LICENSE
  @ONLY NEWLINE_STYLE ${ROADFIRE_TEXT_NEWLINES})
install(FILES ${CMAKE_BINARY_DIR}/package-texts/README.txt ${CMAKE_BINARY_DIR}/package-texts/LICENSE DESTINATION .)

set(CPACK_PACKAGE_NAME roadfire-tools)
set(CPACK_PACKAGE_VENDOR "Roadfire tools")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CRP archive packer and FSH to PTX texture tools")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
# One folder inside the archive, so unpacking never scatters files.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
