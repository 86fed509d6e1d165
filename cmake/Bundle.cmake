# The Windows build makes, besides zorvaneplugin.exe, what scripts/package.sh
# adds to the bundle folder before it packs it:
#   bundle/manifest.json            the bundle's manifest with this version
#   bundle/THIRD-PARTY-NOTICES.txt  the notices of every third-party component
#                                   that the exe's link and compiles used
# The exe itself gets a version resource with the same version, and is linked
# without a time stamp, so that one commit always gives the same bytes.

# The Stream Deck application wants {major}.{minor}.{patch}.{build}; Windows
# wants four numbers as well. The build number is always 0.
set(ZORVANE_PLUGIN_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
string(REPLACE "." "," ZORVANE_PLUGIN_VERSION_NUMBERS "${ZORVANE_PLUGIN_VERSION}")

set(_zorvane_manifest "${PROJECT_SOURCE_DIR}/com.brimcove.zorvaneplugin.sdPlugin/manifest.json")
file(READ "${_zorvane_manifest}" _zorvane_manifest_text)
# The resource names the company and the product as the manifest does.
string(JSON ZORVANE_PLUGIN_AUTHOR GET "${_zorvane_manifest_text}" Author)
string(JSON ZORVANE_PLUGIN_NAME GET "${_zorvane_manifest_text}" Name)
configure_file("${_zorvane_manifest}" "${CMAKE_BINARY_DIR}/bundle/manifest.json" @ONLY)

configure_file("${PROJECT_SOURCE_DIR}/app/version.rc.in" "${CMAKE_BINARY_DIR}/version.rc" @ONLY)
target_sources(zorvaneplugin PRIVATE "${CMAKE_BINARY_DIR}/version.rc")

# The link map tells the notices which archives and objects the exe holds.
set(ZORVANE_LINK_MAP "${CMAKE_BINARY_DIR}/zorvaneplugin.map")
target_link_options(zorvaneplugin PRIVATE "LINKER:--no-insert-timestamp" "LINKER:-Map=${ZORVANE_LINK_MAP}")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_zorvane_notices "${CMAKE_BINARY_DIR}/bundle/THIRD-PARTY-NOTICES.txt")
set(_zorvane_notices_tool "${PROJECT_SOURCE_DIR}/tools/bundle_notices")
add_custom_command(
  OUTPUT "${_zorvane_notices}"
  COMMAND Python3::Interpreter "${_zorvane_notices_tool}/make_notices.py"
    --map "${ZORVANE_LINK_MAP}"
    --compile-commands "${CMAKE_BINARY_DIR}/compile_commands.json"
    --source-dir "${PROJECT_SOURCE_DIR}"
    --prefix "${ZORVANE_JSONCPP_PREFIX}"
    --exe "$<TARGET_FILE:zorvaneplugin>"
    --objdump "${CMAKE_OBJDUMP}"
    --version "${ZORVANE_PLUGIN_VERSION}"
    --output "${_zorvane_notices}"
  DEPENDS zorvaneplugin "${_zorvane_notices_tool}/make_notices.py" "${_zorvane_notices_tool}/link_map.py"
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
  COMMENT "Writing the notices of what zorvaneplugin.exe contains"
  VERBATIM)
add_custom_target(zorvaneplugin_bundle ALL DEPENDS "${_zorvane_notices}")
