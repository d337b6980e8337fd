# The Windows library: nine plain exports and GetInstallPath under its C++ name.
if(TESSAL_ARCH STREQUAL "win64")
  set(TAVIN_DEF win/tavin64.def)
else()
  set(TAVIN_DEF win/tavin32.def)
endif()
add_library(Tavin SHARED win/dll_main.cc win/tavin_exports.cc win/monitor.cc win/lorix_binding.cc
            win/registry.cc ${TAVIN_DEF})
target_include_directories(Tavin PRIVATE include ${PROJECT_SOURCE_DIR}/manifest/include)
target_link_libraries(Tavin PRIVATE tavin_core tessal_common user32 advapi32)
target_link_options(Tavin PRIVATE -Wl,--kill-at)
tessal_deliverable(Tavin DESCRIPTION "Installation information library")
