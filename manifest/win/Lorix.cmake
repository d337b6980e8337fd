# The Windows library: exports by plain names from lorix.def, MSXML through COM.
set(LORIX_INSTALLER_EXE "Release\\\\Setup.exe" CACHE STRING
    "Installer start-up program whose version strings ChangeInstallExeVersion rewrites")
add_library(Lorix SHARED win/dll_main.cc win/install_info.cc win/lorix_exports.cc win/utilities.cc
            win/lorix.def)
target_include_directories(Lorix PRIVATE include)
target_compile_definitions(Lorix PRIVATE "LORIX_INSTALLER_EXE=\"${LORIX_INSTALLER_EXE}\"")
target_link_libraries(Lorix PRIVATE lorix_core tessal_common ole32 oleaut32 uuid version)
# No import-library decoration: callers find every function by its plain name.
target_link_options(Lorix PRIVATE -Wl,--kill-at)
tessal_deliverable(Lorix DESCRIPTION "Setup manifest library")
# The stylesheet the save runs the manifest through ships beside the library.
add_custom_command(TARGET Lorix POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/indent.xsl ${TESSAL_OUT_DIR}/indent.xsl)
