# The Windows library: nine plain exports and GetInstallPath under its C++ name.
if(TESSAL_ARCH STREQUAL "win64")
  set(TAVIN_DEF win/tavin64.def)
else()
  set(TAVIN_DEF win/tavin32.def)
endif()
add_library(Tavin SHARED win/dll_main.cc win/tavin_exports.cc win/monitor.cc win/lorix_binding.cc
            win/registry.cc win/file_restore.cc ${TAVIN_DEF})
target_link_libraries(Tavin PRIVATE tavin_core tessal_common user32 advapi32)
target_link_options(Tavin PRIVATE -Wl,--kill-at)
tessal_deliverable(Tavin DESCRIPTION "Installation information library")

# Wine tests: windows, the registry's installer state and message boxes, so they
# do not run beside other window tests.
tessal_gtest(tavin_wine_test SOURCES tests/tavin_wine_test.cc win/file_restore.cc
             LIBS tessal_win_harness tavin_core LABELS wine LOCKS wine_desktop)
target_compile_definitions(tavin_wine_test PRIVATE
  TAVIN_DLL="$<TARGET_FILE:Tavin>" LORIX_DLL="$<TARGET_FILE:Lorix>" UPDATER_EXE="$<TARGET_FILE:updaterx>"
  FIXTURE_APP="$<TARGET_FILE:lorix_fixture_app>"
  FIXTURE_EMPTY_VERSION="$<TARGET_FILE:lorix_fixture_empty_version>")
add_dependencies(tavin_wine_test Tavin Lorix updaterx lorix_fixture_app lorix_fixture_empty_version)
