# Sets ctest properties on every case that gtest_discover_tests found for a
# target: an include file read after the discovered list, so that the label list
# (wine;<arch>) and the other properties keep their own pairs.
# setup_test_properties(target [RESOURCE_LOCK name])
function(setup_test_properties target)
  cmake_parse_arguments(P "" "RESOURCE_LOCK" "" ${ARGN})
  set(extra "")
  if(P_RESOURCE_LOCK)
    set(extra " RESOURCE_LOCK ${P_RESOURCE_LOCK}")
  endif()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(WRITE ${file}
    "foreach(t IN LISTS ${target}_TESTS)\n"
    "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"wine;${TESSAL_ARCH}\" TIMEOUT 120${extra})\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
