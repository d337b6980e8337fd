# The package of this Windows tree: out/package/CorvantaBrontel.msi from win32,
# out/package/CorvantaBrontel-x64.msi from win64 (target msi_package).
option(TESSAL_PACKAGE_R_EDITION "also lay out the agent as qvTessalKestraR.exe (R edition)" OFF)
set(TESSAL_SHIPPED_RESPONDER_FILES "" CACHE PATH
    "folder with jsxCVsc.cer, locrt and locrk to ship instead of making them on each PC")
set(TESSAL_MANIFEST_WRITER ${PROJECT_SOURCE_DIR}/build/linux/package/setup_manifest_writer CACHE FILEPATH
    "setup_manifest_writer built in the linux tree")
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(NOT WIXL OR NOT MSIBUILD)
  add_custom_target(msi_package COMMAND ${CMAKE_COMMAND} -E echo "wixl and msibuild are missing: bash scripts/setup.sh"
                    COMMAND ${CMAKE_COMMAND} -E false)
  return()
endif()

if(TESSAL_ARCH STREQUAL "win64")
  set(PACKAGE_WIXL_ARCH x64)
  set(PACKAGE_SUMMARY_PLATFORM x64)
  set(PACKAGE_PROGRAM_FILES ProgramFiles64Folder)
  set(PACKAGE_WIN64 yes)
  set(PACKAGE_UPGRADE_CODE ${TESSAL_UPGRADE_CODE_X64})
  set(PACKAGE_MSI ${PROJECT_SOURCE_DIR}/out/package/CorvantaBrontel-x64.msi)
else()
  set(PACKAGE_WIXL_ARCH x86)
  set(PACKAGE_SUMMARY_PLATFORM Intel)
  set(PACKAGE_PROGRAM_FILES ProgramFilesFolder)
  set(PACKAGE_WIN64 no)
  set(PACKAGE_UPGRADE_CODE ${TESSAL_UPGRADE_CODE_X86})
  set(PACKAGE_MSI ${PROJECT_SOURCE_DIR}/out/package/CorvantaBrontel.msi)
endif()
# A new version is a new product: its code follows from the upgrade code and the version.
string(UUID PACKAGE_PRODUCT_CODE NAMESPACE ${PACKAGE_UPGRADE_CODE} NAME "Brontel ${TESSAL_VERSION}"
       TYPE SHA1 UPPER)

set(PACKAGE_DOWNGRADE_MESSAGE "더 새로운 버전의 Corvanta Brontel이 이미 설치되어 있습니다.")
set(payload ${CMAKE_CURRENT_BINARY_DIR}/payload)
set(manifest_name BrontelSetup.xml)
set(install_state_key "SOFTWARE\\OSKANA\\PKINSTALLER")

# Every file of the package: name, source, the target that builds it (or none).
set(package_files)
set(package_targets)
macro(package_file name source target)
  list(APPEND package_files "${name}|${source}|${target}")
  if(NOT "${target}" STREQUAL "-")
    list(APPEND package_targets ${target})
  endif()
endmacro()
foreach(file qvTessalKestra.exe qvWirelet.dll Gatrell.exe qvTolvenz.exe qvTolvenw.exe Lorix.dll Tavin.dll)
  get_filename_component(t ${file} NAME_WE)
  if(NOT TARGET ${t})
    # A tree that leaves a folder out (TESSAL_SKIP) builds no package.
    message(STATUS "No installer package in this tree: ${t} is left out")
    return()
  endif()
  package_file(${file} ${TESSAL_OUT_DIR}/${file} ${t})
endforeach()
if(TESSAL_PACKAGE_R_EDITION)
  package_file(qvTessalKestraR.exe ${TESSAL_OUT_DIR}/qvTessalKestra.exe qvTessalKestra)
endif()
package_file(indent.xsl ${TESSAL_OUT_DIR}/indent.xsl -)
set(package_seal OFF)
if(TESSAL_SHIPPED_RESPONDER_FILES)
  foreach(f jsxCVsc.cer locrt locrk)
    if(NOT EXISTS ${TESSAL_SHIPPED_RESPONDER_FILES}/${f})
      message(FATAL_ERROR "TESSAL_SHIPPED_RESPONDER_FILES has no ${f}")
    endif()
    package_file(${f} ${TESSAL_SHIPPED_RESPONDER_FILES}/${f} -)
  endforeach()
elseif(TARGET qvTessalSeal)
  set(package_seal ON)
endif()
# For the package's table test: whether the certificate program is laid out.
set(TESSAL_PACKAGE_SEAL ${package_seal} CACHE INTERNAL "")
if(package_seal)
  package_file(qvTessalSeal.exe ${TESSAL_OUT_DIR}/qvTessalSeal.exe qvTessalSeal)
endif()

# The build list the manifest writer turns into the setup manifest; sizes are
# read from the files as the package carries them. Each file's folder is the
# reserved word %INSTALLDIR%: an installer that sets its real text (the folder,
# ending with a backslash) gets full paths; right after a load the word stands
# for nothing, so the path is relative to the current folder, the installation
# folder for the programs that read the manifest by the name in "setup.ini".
# Either way it holds wherever the folder lies (Program Files (x86) or Program
# Files, any drive).
set(list_text "reserve\t%INSTALLDIR%\t설치 폴더\n")
string(APPEND list_text "config\tMAINVERSION\t${TESSAL_VERSION}\nconfig\tLANG\t1042\nconfig\tPROJECTNAME\tBrontel\n")
foreach(entry ${package_files})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 2 target)
  set(version "")
  if(NOT target STREQUAL "-")
    set(version $<TARGET_PROPERTY:${target},TESSAL_FILE_VERSION>)
  endif()
  string(APPEND list_text "file\t${name}\t${version}\t%INSTALLDIR%\t-\n")
endforeach()
string(APPEND list_text "registry\tHKEY_LOCAL_MACHINE\\${install_state_key}\tInstallState\t1\t0\n")
file(GENERATE OUTPUT ${payload}/manifest.list CONTENT "${list_text}")

# Where each file comes from, for make-payload.sh; the manifest and "setup.ini"
# are written into the payload by the manifest writer.
set(sources_text "")
foreach(entry ${package_files})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 source)
  string(APPEND sources_text "${name}\t${source}\n")
endforeach()
file(GENERATE OUTPUT ${payload}/sources.list CONTENT "${sources_text}")
package_file(${manifest_name} - -)
package_file(setup.ini - -)

# One component per file; the service belongs to Gatrell's.
set(PACKAGE_COMPONENTS "")
set(PACKAGE_COMPONENT_REFS "")
foreach(entry ${package_files})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  string(MAKE_C_IDENTIFIER "${name}" id)
  # wixl finds sources only by paths relative to the .wxs.
  set(source payload/files/${name})
  set(extra "")
  if(name STREQUAL "Gatrell.exe")
    set(extra "
              <ServiceInstall Id=\"BrontelMon\" Name=\"Corvanta BrontelMon\" DisplayName=\"Corvanta Brontel Monitor\"
                              Type=\"ownProcess\" Start=\"auto\" ErrorControl=\"normal\" Vital=\"yes\"/>
              <ServiceControl Id=\"BrontelMon\" Name=\"Corvanta BrontelMon\" Start=\"install\" Stop=\"both\"
                              Remove=\"uninstall\" Wait=\"yes\"/>")
  endif()
  string(APPEND PACKAGE_COMPONENTS "
            <Component Id=\"${id}\" Guid=\"*\" Win64=\"${PACKAGE_WIN64}\">
              <File Id=\"${id}\" Name=\"${name}\" Source=\"${source}\" KeyPath=\"yes\"/>${extra}
            </Component>")
  string(APPEND PACKAGE_COMPONENT_REFS "      <ComponentRef Id=\"${id}\"/>\n")
endforeach()
# The registry's component sits in the maker's folder, so that its RemoveFolder
# names that folder (wixl takes the component's own folder for it).
set(PACKAGE_MAKER_COMPONENTS "
          <Component Id=\"InstallState\" Guid=\"*\" Win64=\"${PACKAGE_WIN64}\">
            <RegistryValue Root=\"HKLM\" Key=\"${install_state_key}\" Name=\"InstallState\" Type=\"string\"
                           Value=\"0\" KeyPath=\"yes\"/>
            <!-- The maker's folder goes too when nothing else is left in it. -->
            <RemoveFolder Id=\"CorvantaFolder\" On=\"uninstall\"/>
          </Component>")
string(APPEND PACKAGE_COMPONENT_REFS "      <ComponentRef Id=\"InstallState\"/>")

# The per-PC certificates: made after the files are in place (install, repair,
# upgrade), removed once the service is gone and before the files go, on a
# removal that is not an upgrade's. wixl drops the Directory form of an EXE
# action and misplaces Before=, hence FileKey and a sequence number of its own
# between DeleteServices (2000) and RemoveFiles (3500).
set(PACKAGE_ACTIONS "")
if(package_seal)
  # The program's own file key: the installer runs it by its full path, with
  # the argument after it ("[INSTALLFOLDER]qvTessalSeal.exe" /make).
  set(PACKAGE_ACTIONS "
    <CustomAction Id=\"SealMake\" FileKey=\"qvTessalSeal_exe\" ExeCommand=\"/make\"
                  Execute=\"deferred\" Impersonate=\"no\" Return=\"check\"/>
    <CustomAction Id=\"SealRemove\" FileKey=\"qvTessalSeal_exe\" ExeCommand=\"/remove\"
                  Execute=\"deferred\" Impersonate=\"no\" Return=\"ignore\"/>
    <InstallExecuteSequence>
      <Custom Action=\"SealMake\" After=\"InstallFiles\">NOT REMOVE~=\"ALL\"</Custom>
      <Custom Action=\"SealRemove\" Sequence=\"3450\">REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE</Custom>
    </InstallExecuteSequence>")
endif()

# The writer comes from the linux tree; a package made before it was built is
# made again once it is there.
set(writer_dependency "")
if(EXISTS ${TESSAL_MANIFEST_WRITER})
  set(writer_dependency ${TESSAL_MANIFEST_WRITER})
endif()

set(wxs ${CMAKE_CURRENT_BINARY_DIR}/Brontel.wxs.configured)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/Brontel.wxs.in ${wxs} @ONLY)
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/Brontel.wxs INPUT ${wxs})

add_custom_command(OUTPUT ${PACKAGE_MSI}
  COMMAND sh -c "test -x '${TESSAL_MANIFEST_WRITER}' || { echo 'no ${TESSAL_MANIFEST_WRITER}: bash package/build.sh builds it first' >&2; exit 1; }"
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/make-payload.sh ${CMAKE_STRIP} ${payload}/sources.list ${payload}/files
  COMMAND ${TESSAL_MANIFEST_WRITER} ${payload}/manifest.list ${payload}/files ${payload}/files ${manifest_name}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_SOURCE_DIR}/out/package
  COMMAND ${WIXL} -a ${PACKAGE_WIXL_ARCH} -o ${PACKAGE_MSI}.tmp ${CMAKE_CURRENT_BINARY_DIR}/Brontel.wxs
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/finish-package.sh ${PACKAGE_MSI}.tmp ${payload}/manifest.list
          ${PACKAGE_SUMMARY_PLATFORM} "Corvanta Brontel ${TESSAL_VERSION}" ${PACKAGE_DOWNGRADE_MESSAGE}
  COMMAND ${CMAKE_COMMAND} -E rename ${PACKAGE_MSI}.tmp ${PACKAGE_MSI}
  DEPENDS ${package_targets} ${CMAKE_CURRENT_BINARY_DIR}/Brontel.wxs ${payload}/manifest.list
          ${payload}/sources.list ${PROJECT_SOURCE_DIR}/manifest/indent.xsl
          ${CMAKE_CURRENT_SOURCE_DIR}/make-payload.sh ${CMAKE_CURRENT_SOURCE_DIR}/finish-package.sh
          ${writer_dependency}
  COMMENT "Package ${PACKAGE_MSI}"
  VERBATIM)
add_custom_target(msi_package DEPENDS ${PACKAGE_MSI})

# What an installation left behind, for the package's Wine test
# (scripts/test.d/51-package-wine.sh).
if(TESSAL_RUN_TESTS)
  add_executable(package_install_probe tests/install_probe.cc)
  target_link_libraries(package_install_probe PRIVATE advapi32 msi)
  tessal_warnings(package_install_probe)
endif()
