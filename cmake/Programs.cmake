# roadfire_program(<target> WINDOWS_NAME <name> POSIX_NAME <name>
#                  [TOOL] [GUI] SOURCES ... LIBS ... [RC ...])
# Front ends go to bin/, tools that Skinferry starts (TOOL) to bin/needed_Exes/;
# installed (and packaged) the same way, relative to the install root.
# GUI programs use the Windows GUI subsystem (no console window).
# On Windows each program gets its icon and version information from
# resources/<target>.rc (or resources/<lower-case WINDOWS_NAME>.rc); a program
# without one gets a generated script with the common icon.

set(ROADFIRE_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../resources)
cmake_path(NORMAL_PATH ROADFIRE_RESOURCES_DIR)
set(ROADFIRE_GENERATED_RC_DIR ${CMAKE_BINARY_DIR}/resources)
# The version is recorded once, in the project() call; programs and resource
# scripts read it from the generated roadfire_version.h (link roadfire_version).
file(WRITE ${ROADFIRE_GENERATED_RC_DIR}/roadfire_version.h.tmp
  "#define ROADFIRE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}\n"
  "#define ROADFIRE_VERSION_MINOR ${PROJECT_VERSION_MINOR}\n"
  "#define ROADFIRE_VERSION_PATCH ${PROJECT_VERSION_PATCH}\n"
  "#define ROADFIRE_VERSION_STRING \"${PROJECT_VERSION}\"\n"
  "#define ROADFIRE_VERSION_MAJOR_MINOR \"${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}\"\n")
# Only a changed version rewrites the header, so nothing rebuilds for nothing.
file(COPY_FILE ${ROADFIRE_GENERATED_RC_DIR}/roadfire_version.h.tmp
  ${ROADFIRE_GENERATED_RC_DIR}/roadfire_version.h ONLY_IF_DIFFERENT)
add_library(roadfire_version INTERFACE)
target_include_directories(roadfire_version INTERFACE ${ROADFIRE_GENERATED_RC_DIR})

function(roadfire_program_resources target windows_name)
  string(TOLOWER "${windows_name}" lower_name)
  if(EXISTS ${ROADFIRE_RESOURCES_DIR}/${target}.rc)
    set(rc ${ROADFIRE_RESOURCES_DIR}/${target}.rc)
  elseif(EXISTS ${ROADFIRE_RESOURCES_DIR}/${lower_name}.rc)
    set(rc ${ROADFIRE_RESOURCES_DIR}/${lower_name}.rc)
  else()
    set(rc ${ROADFIRE_GENERATED_RC_DIR}/${target}.rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT
      "#define PROGRAM_FILE_NAME \"${windows_name}.exe\"\n"
      "#define PROGRAM_DESCRIPTION \"${windows_name}\"\n"
      "#define PROGRAM_ICON \"roadfire.ico\"\n"
      "#include \"program.rc2\"\n")
  endif()
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    INCLUDE_DIRECTORIES "${ROADFIRE_RESOURCES_DIR};${ROADFIRE_GENERATED_RC_DIR}")
endfunction()

function(roadfire_program target)
  cmake_parse_arguments(P "TOOL;GUI" "WINDOWS_NAME;POSIX_NAME" "SOURCES;LIBS;RC" ${ARGN})
  add_executable(${target} ${P_SOURCES})
  if(WIN32)
    roadfire_program_resources(${target} ${P_WINDOWS_NAME})
    if(P_RC)
      target_sources(${target} PRIVATE ${P_RC})
    endif()
  endif()
  target_link_libraries(${target} PRIVATE ${P_LIBS} roadfire_warnings)
  if(WIN32)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${P_WINDOWS_NAME})
    if(P_GUI)
      set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
  else()
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${P_POSIX_NAME})
  endif()
  if(P_TOOL)
    set(dir ${ROADFIRE_TOOLS_DIR})
    set(dest needed_Exes)
  else()
    set(dir ${ROADFIRE_BIN_DIR})
    set(dest .)
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
  install(TARGETS ${target} RUNTIME DESTINATION ${dest})
endfunction()
