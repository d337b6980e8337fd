# The Windows library: exports by plain names from lorix.def, MSXML through COM.
set(LORIX_INSTALLER_EXE "Release\\\\Setup.exe" CACHE STRING
    "Installer start-up program whose version strings ChangeInstallExeVersion rewrites")
add_library(Lorix SHARED win/dll_main.cc win/install_info.cc win/lorix_exports.cc win/utilities.cc
            win/lorix.def)
target_compile_definitions(Lorix PRIVATE "LORIX_INSTALLER_EXE=\"${LORIX_INSTALLER_EXE}\"")
target_link_libraries(Lorix PRIVATE lorix_core tessal_common ole32 oleaut32 uuid version)
# No import-library decoration: callers find every function by its plain name.
target_link_options(Lorix PRIVATE -Wl,--kill-at)
tessal_deliverable(Lorix DESCRIPTION "Setup manifest library")
# The stylesheet the save runs the manifest through ships beside the library.
add_custom_command(TARGET Lorix POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/indent.xsl ${TESSAL_OUT_DIR}/indent.xsl)

# Fixtures for the Wine tests: a program with FileVersion "1, 2, 0, 5" and a
# library whose FileVersion is empty.
add_executable(lorix_fixture_app tests/fixture/fixture_app.cc)
tessal_version_resource(lorix_fixture_app DESCRIPTION "Lorix test program" VERSION 1.2.0.5)
add_library(lorix_fixture_empty_version SHARED tests/fixture/empty_version.cc tests/fixture/empty_version.rc)

tessal_gtest(lorix_wine_test SOURCES tests/lorix_wine_test.cc LIBS tessal_win_harness LABELS wine)
target_compile_definitions(lorix_wine_test PRIVATE
  LORIX_DLL="$<TARGET_FILE:Lorix>" INDENT_XSL="${CMAKE_CURRENT_SOURCE_DIR}/indent.xsl"
  FIXTURE_APP="$<TARGET_FILE:lorix_fixture_app>"
  FIXTURE_EMPTY_VERSION="$<TARGET_FILE:lorix_fixture_empty_version>")
add_dependencies(lorix_wine_test Lorix lorix_fixture_app lorix_fixture_empty_version)

# Load and save times of the large manifest beside MSXML's bare parse
# (scripts/test.d/60-lorix-bench.sh runs it under Wine).
add_executable(lorix_bench bench/lorix_bench.cc)
target_link_libraries(lorix_bench PRIVATE tessal_win_harness ole32 oleaut32 uuid)
tessal_warnings(lorix_bench)
add_dependencies(lorix_bench Lorix)
