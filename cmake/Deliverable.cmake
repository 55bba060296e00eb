# qel_deliverable(<target> <SHARED|MODULE|EXECUTABLE> FILE <file name>
#                 [VERSION a.b.c.d] [DESCRIPTION text] SOURCES ...)
#
# One target per deliverable: the output file carries the deliverable's own
# name ("Pardow.DLL", "Stavro.SYS", ...), shared objects hide every symbol but
# their documented entry points (the static libraries linked in, such as the
# platform, included), and each binary embeds its file-version record (read
# back by plat::read_file_version).
function(qel_deliverable target kind)
  cmake_parse_arguments(ARG "" "FILE;VERSION;DESCRIPTION;PRODUCT" "SOURCES" ${ARGN})
  if(NOT ARG_VERSION)
    set(ARG_VERSION "1.0.0.0")
  endif()
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION "${ARG_FILE}")
  endif()
  if(NOT ARG_PRODUCT)
    set(ARG_PRODUCT "Tramond-CL_RZ6")
  endif()
  string(REPLACE "." ";" parts "${ARG_VERSION}")
  list(GET parts 0 QEL_V0)
  list(GET parts 1 QEL_V1)
  list(GET parts 2 QEL_V2)
  list(GET parts 3 QEL_V3)
  set(QEL_FILE "${ARG_FILE}")
  set(QEL_DESCRIPTION "${ARG_DESCRIPTION}")
  set(QEL_PRODUCT "${ARG_PRODUCT}")
  set(version_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.cpp)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version_record.cpp.in ${version_source} @ONLY)

  if(kind STREQUAL "EXECUTABLE")
    add_executable(${target} ${ARG_SOURCES} ${version_source})
  else()
    add_library(${target} ${kind} ${ARG_SOURCES} ${version_source})
    set_target_properties(${target} PROPERTIES
      PREFIX "" SUFFIX ""
      CXX_VISIBILITY_PRESET hidden
      C_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--exclude-libs,ALL)
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME "${ARG_FILE}")
endfunction()

# qel_test(<name> SOURCES ... LIBS ...): a GoogleTest program registered with CTest.
function(qel_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
