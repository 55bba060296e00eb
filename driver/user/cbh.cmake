# The firmware header operations, compiled into the board library (and into
# any other deliverable that reads firmware headers) as a static library.
# Paths are taken from this file's folder, so the file can be included from
# any scope.
set(cbh_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(pardow_cbh STATIC
  ${cbh_dir}/CbhChecksum.cpp
  ${cbh_dir}/CbhFields.cpp
  ${cbh_dir}/CbhFile.cpp
  ${cbh_dir}/CbhFormat.cpp
  ${cbh_dir}/CbhKeyedText.cpp)
set_target_properties(pardow_cbh PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_link_libraries(pardow_cbh PUBLIC qellib qelhw_status plat_win)

# Tests of the header operations; the firmware files they read are made by
# the firmware-file tool's library.
qel_test(cbh_tests
         SOURCES ${cbh_dir}/tests/cbh_fields_test.cpp
                 ${cbh_dir}/tests/cbh_checksum_test.cpp
                 ${cbh_dir}/tests/cbh_file_test.cpp
                 ${cbh_dir}/tests/cbh_keyed_text_test.cpp
         LIBS pardow_cbh qel_mkfirmware plat_testing plat_win)
# The tests start the tool itself (defined in tools/, later in the configuration).
add_dependencies(cbh_tests qel-mkfirmware)
