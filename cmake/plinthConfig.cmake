# plinth's CMake package.
#
#   find_package(plinth 0.1 REQUIRED)
#   plinth_add_installer(<target> MANIFEST <file> [ICON <file>] [OUTPUT <file>] [COMPRESSOR <name>]
#                        [FEED <file>])
#   target_link_libraries(<app> PRIVATE plinth::update)   # #include <plinth/update.h>
#
# Found through its prefix (bin/, share/plinth/, lib/cmake/plinth/). The packer is a program of
# the machine that builds, not of the target: under a cross toolchain the package is found with
# -Dplinth_DIR=<prefix>/lib/cmake/plinth, which the toolchain's find root does not redirect.
#
# Sets PLINTH_PACK_EXECUTABLE, PLINTH_STUB, PLINTH_MANIFEST_SCHEMA and the imported executable
# plinth::pack.

if(CMAKE_VERSION VERSION_LESS 3.20)
  set(plinth_FOUND FALSE)
  set(plinth_NOT_FOUND_MESSAGE "plinth needs CMake 3.20 or later (this is ${CMAKE_VERSION}).")
  return()
endif()

get_filename_component(_plinth_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(CMAKE_HOST_WIN32)
  set(_plinth_pack "${_plinth_prefix}/bin/plinth-pack.exe")
else()
  set(_plinth_pack "${_plinth_prefix}/bin/plinth-pack")
endif()
set(_plinth_stub "${_plinth_prefix}/share/plinth/plinth-setup.exe")

foreach(_plinth_file IN ITEMS "${_plinth_pack}" "${_plinth_stub}")
  if(NOT EXISTS "${_plinth_file}")
    set(plinth_FOUND FALSE)
    set(plinth_NOT_FOUND_MESSAGE
      "plinth at ${_plinth_prefix} has no ${_plinth_file}: take the archive for this build machine (linux-x86_64 or windows-x86_64).")
    unset(_plinth_file)
    return()
  endif()
endforeach()
unset(_plinth_file)

set(PLINTH_PACK_EXECUTABLE "${_plinth_pack}")
set(PLINTH_STUB "${_plinth_stub}")
set(PLINTH_MANIFEST_SCHEMA "${_plinth_prefix}/share/plinth/app-manifest.schema.json")
# Where plinth_add_installer finds them, whichever directory calls it.
set_property(GLOBAL PROPERTY PLINTH_PACK_EXECUTABLE "${_plinth_pack}")
set_property(GLOBAL PROPERTY PLINTH_STUB "${_plinth_stub}")

if(NOT TARGET plinth::pack)
  add_executable(plinth::pack IMPORTED GLOBAL)
  set_target_properties(plinth::pack PROPERTIES IMPORTED_LOCATION "${_plinth_pack}")
endif()
# plinth/update.h: header-only, kernel32 only.
if(NOT TARGET plinth::update)
  add_library(plinth::update INTERFACE IMPORTED GLOBAL)
  set_target_properties(plinth::update PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_plinth_prefix}/include")
endif()
unset(_plinth_pack)
unset(_plinth_stub)
unset(_plinth_prefix)

# plinth_add_installer(<target> MANIFEST <file> [ICON <file>] [OUTPUT <file>] [COMPRESSOR <name>])
#
# Packs the executable <target> into an installer after it builds: <target>-Setup.exe beside the
# target's file, or OUTPUT (relative to the current binary folder). MANIFEST and ICON are
# relative to the current source folder. The target <target>-installer, part of `all`, does it,
# again whenever the target, the manifest, the icon, the packer or the stub changes. The
# installer's path is left in the target property PLINTH_INSTALLER of <target>. FEED (relative
# to the current binary folder) is the app's update feed, which each pack then refreshes with
# `plinth-pack feed`.
function(plinth_add_installer target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MANIFEST;ICON;OUTPUT;COMPRESSOR;FEED" "")
  set(fn plinth_add_installer)
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${fn}: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${fn}: ${arg_KEYWORDS_MISSING_VALUES} needs a value")
  endif()
  if(NOT TARGET "${target}")
    message(FATAL_ERROR "${fn}: there is no target ${target}")
  endif()
  get_target_property(type "${target}" TYPE)
  get_target_property(imported "${target}" IMPORTED)
  if(NOT type STREQUAL "EXECUTABLE" OR imported)
    message(FATAL_ERROR "${fn}: ${target} is not an executable built by this project")
  endif()
  if(NOT arg_MANIFEST)
    message(FATAL_ERROR "${fn}: MANIFEST <file> is required")
  endif()
  get_property(pack GLOBAL PROPERTY PLINTH_PACK_EXECUTABLE)
  get_property(stub GLOBAL PROPERTY PLINTH_STUB)

  # A file that is neither there nor made by the build is a mistake worth stopping for now.
  set(inputs "")
  foreach(kind MANIFEST ICON)
    if(arg_${kind})
      get_filename_component(file "${arg_${kind}}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      get_source_file_property(generated "${file}" GENERATED)
      if(NOT EXISTS "${file}" AND NOT generated)
        message(FATAL_ERROR "${fn}: the ${kind} file ${file} does not exist")
      endif()
      set(${kind} "${file}")
      list(APPEND inputs "${file}")
    endif()
  endforeach()

  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    # Beside the target's file. OUTPUT can't name the target's folder with $<TARGET_FILE_DIR>,
    # so it is worked out the way CMake places the file.
    get_target_property(dir "${target}" RUNTIME_OUTPUT_DIRECTORY)
    get_target_property(binary_dir "${target}" BINARY_DIR)
    get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
    if(NOT dir)
      set(dir "${binary_dir}")
    elseif(NOT IS_ABSOLUTE "${dir}")
      set(dir "${binary_dir}/${dir}")
    endif()
    if(multi_config AND NOT dir MATCHES [[\$<]])
      set(dir "${dir}/$<CONFIG>")
    endif()
    set(output "${dir}/${target}-Setup.exe")
  endif()

  set(options --manifest "${MANIFEST}" --app "$<TARGET_FILE:${target}>")
  if(ICON)
    list(APPEND options --icon "${ICON}")
  endif()
  list(APPEND options --stub "${stub}")
  if(arg_COMPRESSOR)
    list(APPEND options --compressor "${arg_COMPRESSOR}")
  endif()
  list(APPEND options --out "${output}")

  set(feed_command "")
  if(arg_FEED)
    get_filename_component(feed "${arg_FEED}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    set(feed_command COMMAND "${pack}" feed --feed "${feed}" --installer "${output}" --quiet)
  endif()
  add_custom_command(OUTPUT "${output}"
    COMMAND "${pack}" build ${options}
    ${feed_command}
    DEPENDS "${target}" ${inputs} "${pack}" "${stub}"
    COMMENT "Packing ${target} into its installer"
    VERBATIM)
  add_custom_target("${target}-installer" ALL DEPENDS "${output}")
  set_property(TARGET "${target}" PROPERTY PLINTH_INSTALLER "${output}")
endfunction()
