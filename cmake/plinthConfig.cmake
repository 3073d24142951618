# plinth's CMake package.
#
#   find_package(plinth 0.1 REQUIRED)
#   plinth_add_installer(<target> MANIFEST <file> [ICON <file>] [OUTPUT <file>] [COMPRESSOR <name>]
#                        [COMPRESSION deflate|lzma]
#                        [RUNTIME_DLLS] [FILES <file>... [DESTINATION <folder>]]...
#                        [DIRECTORY <folder> [DESTINATION <folder>]]...
#                        [SIGN_COMMAND <command>] [FEED <file>])
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
set_property(GLOBAL PROPERTY PLINTH_STAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/plinth_stage.cmake")

if(NOT TARGET plinth::pack)
  add_executable(plinth::pack IMPORTED GLOBAL)
  set_target_properties(plinth::pack PROPERTIES IMPORTED_LOCATION "${_plinth_pack}")
endif()
# plinth/update.h: header-only, kernel32 only. Its include folder holds nothing else: the
# prefix's include/ is /usr/include for the Debian package, whose glibc headers would come
# before a cross compiler's own.
if(NOT TARGET plinth::update)
  add_library(plinth::update INTERFACE IMPORTED GLOBAL)
  set_target_properties(plinth::update PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_plinth_prefix}/share/plinth/include")
endif()
unset(_plinth_pack)
unset(_plinth_stub)
unset(_plinth_prefix)

# plinth_add_installer(<target> MANIFEST <file> [ICON <file>] [OUTPUT <file>] [COMPRESSOR <name>]
#                      [COMPRESSION deflate|lzma]
#                      [RUNTIME_DLLS] [FILES <file>... [DESTINATION <folder>]]...
#                      [DIRECTORY <folder> [DESTINATION <folder>]]...
#                      [SIGN_COMMAND <command>] [FEED <file>])
#
# Packs the executable <target> into an installer after it builds: <target>-Setup.exe beside the
# target's file, or OUTPUT (relative to the current binary folder). MANIFEST, ICON, FILES and
# DIRECTORY are relative to the current source folder. The target <target>-installer, part of
# `all`, does it, again whenever the target, the manifest, the icon, the packer, the stub or a
# file of the app folder changes. The installer's path is left in the target property PLINTH_INSTALLER of <target>.
# SIGN_COMMAND signs each new installer before it is put in place (`plinth-pack build
# --sign-command`: {file}, or {in} and {out}), so an unchanged app is neither packed nor signed
# again. FEED (relative to the current binary folder) is the app's update feed, which each pack
# then refreshes with `plinth-pack feed`, after signing: the feed records the signed file.
#
# COMPRESSION lzma packs every stream with LZMA (`plinth-pack build --compression lzma`): a
# quarter smaller than deflate for program code, slower to install (docs/packer.md). It is an
# option of the pack, not of the manifest: the same app may ship both ways, and each stream says
# which it is.
#
# With RUNTIME_DLLS, FILES or DIRECTORY the app is a folder: the exe, the target's runtime DLLs
# beside it, and the other files at their DESTINATION (a folder relative to the exe's), staged
# in <target>-app/ of the current binary folder (PLINTH_APP_FOLDER) and packed from there.
function(plinth_add_installer target)
  set(fn plinth_add_installer)
  set(flags RUNTIME_DLLS)
  set(one_value MANIFEST ICON OUTPUT COMPRESSOR COMPRESSION SIGN_COMMAND FEED)
  # FILES and DIRECTORY may come again and again, each with its own DESTINATION, which
  # cmake_parse_arguments can't tell apart: they are taken out here into groups 1..groups
  # (group_<n>: the keyword, then its values; group_<n>_to: its DESTINATION), and the rest is
  # parsed as usual.
  set(keywords ${flags} ${one_value} FILES DIRECTORY DESTINATION)
  set(rest "")
  set(groups 0)
  set(state "")
  foreach(argument IN LISTS ARGN)
    list(FIND keywords "${argument}" keyword)
    if(state STREQUAL "DESTINATION")
      if(keyword GREATER -1)
        message(FATAL_ERROR "${fn}: DESTINATION needs a value")
      endif()
      set(group_${groups}_to "${argument}")
      set(state "")
    elseif(argument STREQUAL "FILES" OR argument STREQUAL "DIRECTORY")
      math(EXPR groups "${groups} + 1")
      set(group_${groups} "${argument}")
      set(state "${argument}")
    elseif(argument STREQUAL "DESTINATION")
      if(NOT state MATCHES "^(FILES|DIRECTORY)$")
        message(FATAL_ERROR "${fn}: DESTINATION belongs after FILES <file>... or DIRECTORY <folder>")
      endif()
      set(state "DESTINATION")
    elseif(keyword GREATER -1)
      set(state "")
      list(APPEND rest "${argument}")
    elseif(state STREQUAL "DIRECTORY" AND group_${groups} MATCHES ";")
      message(FATAL_ERROR "${fn}: DIRECTORY takes one folder (write DIRECTORY again for ${argument})")
    elseif(state MATCHES "^(FILES|DIRECTORY)$")
      list(APPEND group_${groups} "${argument}")
    else()
      list(APPEND rest "${argument}")
    endif()
  endforeach()
  if(state STREQUAL "DESTINATION")
    message(FATAL_ERROR "${fn}: DESTINATION needs a value")
  endif()
  cmake_parse_arguments(arg "${flags}" "${one_value}" "" ${rest})
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${fn}: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${fn}: ${arg_KEYWORDS_MISSING_VALUES} needs a value")
  endif()
  set(group_numbers "")
  if(groups GREATER 0)
    foreach(n RANGE 1 ${groups})
      if(NOT group_${n} MATCHES ";")
        message(FATAL_ERROR "${fn}: ${group_${n}} needs a value")
      endif()
      list(APPEND group_numbers ${n})
    endforeach()
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
  if(arg_RUNTIME_DLLS AND CMAKE_VERSION VERSION_LESS 3.21)
    message(FATAL_ERROR "${fn}: RUNTIME_DLLS needs CMake 3.21 or later (this is ${CMAKE_VERSION})")
  endif()
  get_property(pack GLOBAL PROPERTY PLINTH_PACK_EXECUTABLE)
  get_property(stub GLOBAL PROPERTY PLINTH_STUB)
  get_property(stage_script GLOBAL PROPERTY PLINTH_STAGE_SCRIPT)
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)

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

  set(app "$<TARGET_FILE:${target}>")
  set(stage_commands "")
  set(used_targets "")
  if(arg_RUNTIME_DLLS OR groups GREATER 0)
    # The app folder. Its list of files, made at generation (the runtime DLLs and the target's
    # file are known only then), is rewritten only when it changes, which is what makes a
    # removed file or a new DESTINATION stage and pack again.
    set(app "${CMAKE_CURRENT_BINARY_DIR}/${target}-app")
    set(list_file "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}-app.cmake")
    if(multi_config)
      set(app "${app}/$<CONFIG>")
      set(list_file "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}-app-$<CONFIG>.cmake")
    endif()
    string(FIND "${output}" "${CMAKE_CURRENT_BINARY_DIR}/${target}-app/" inside)
    if(inside EQUAL 0)
      message(FATAL_ERROR "${fn}: OUTPUT ${output} is inside the app folder ${target}-app")
    endif()
    set(files "stage([==[the target ${target}]==] \"\" [==[$<TARGET_FILE:${target}>]==])\n")
    if(arg_RUNTIME_DLLS)
      string(APPEND files "stage(RUNTIME_DLLS \"\" [==[$<TARGET_RUNTIME_DLLS:${target}>]==])\n")
      list(APPEND inputs "$<TARGET_RUNTIME_DLLS:${target}>")
    endif()
    foreach(n IN LISTS group_numbers)
      list(POP_FRONT group_${n} kind)
      _plinth_destination("${group_${n}_to}" to)
      foreach(item IN LISTS group_${n})
        if(item MATCHES [[\$<]])
          # A generator expression, $<TARGET_FILE:plugin> say: checked when it is staged.
          string(APPEND files "stage([==[${kind} ${item}]==] [==[${to}]==] [==[${item}]==])\n")
          list(APPEND inputs "${item}")
          string(REGEX MATCHALL [[\$<TARGET_FILE:[^>]+>]] used "${item}")
          foreach(expression IN LISTS used)
            string(REGEX REPLACE [[^\$<TARGET_FILE:(.*)>$]] [[\1]] used_target "${expression}")
            list(APPEND used_targets "${used_target}")
          endforeach()
          continue()
        endif()
        get_filename_component(file "${item}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        if(kind STREQUAL "DIRECTORY")
          if(NOT IS_DIRECTORY "${file}")
            message(FATAL_ERROR "${fn}: DIRECTORY ${item}: ${file} is not a folder")
          endif()
          # Seen again at every build, so that a file added or removed there is staged.
          file(GLOB_RECURSE found CONFIGURE_DEPENDS "${file}/*")
          list(SORT found)
          foreach(found_file IN LISTS found)
            if(IS_DIRECTORY "${found_file}")
              message(FATAL_ERROR "${fn}: DIRECTORY ${item}: ${found_file} is a link to a folder; "
                "links to folders aren't followed")
            endif()
            file(RELATIVE_PATH relative "${file}" "${found_file}")
            get_filename_component(relative "${to}/${relative}" DIRECTORY)
            string(REGEX REPLACE "^/" "" relative "${relative}")
            string(APPEND files "stage([==[${kind} ${item}]==] [==[${relative}]==] [==[${found_file}]==])\n")
            list(APPEND inputs "${found_file}")
          endforeach()
        else()
          get_source_file_property(generated "${file}" GENERATED)
          if(IS_DIRECTORY "${file}")
            message(FATAL_ERROR "${fn}: FILES ${item}: ${file} is a folder (DIRECTORY takes a folder)")
          elseif(NOT EXISTS "${file}" AND NOT generated)
            message(FATAL_ERROR "${fn}: FILES ${item}: ${file} does not exist")
          endif()
          string(APPEND files "stage([==[${kind} ${item}]==] [==[${to}]==] [==[${file}]==])\n")
          list(APPEND inputs "${file}")
        endif()
      endforeach()
    endforeach()
    file(GENERATE OUTPUT "${list_file}" CONTENT "${files}")
    set(stage_commands COMMAND "${CMAKE_COMMAND}" "-DLIST=${list_file}" "-DMANIFEST=${MANIFEST}"
      "-DAPP=${app}" -P "${stage_script}")
    list(APPEND inputs "${list_file}" "${stage_script}")
    set_property(DIRECTORY APPEND PROPERTY ADDITIONAL_CLEAN_FILES "${app}")
    set_property(TARGET "${target}" PROPERTY PLINTH_APP_FOLDER "${app}")
  endif()

  set(options --manifest "${MANIFEST}" --app "${app}")
  if(ICON)
    list(APPEND options --icon "${ICON}")
  endif()
  list(APPEND options --stub "${stub}")
  if(arg_COMPRESSOR)
    list(APPEND options --compressor "${arg_COMPRESSOR}")
  endif()
  if(arg_COMPRESSION)
    list(APPEND options --compression "${arg_COMPRESSION}")
  endif()
  list(APPEND options --out "${output}")
  if(arg_SIGN_COMMAND)
    if(NOT arg_SIGN_COMMAND MATCHES "{file}|{in}")
      message(FATAL_ERROR "${fn}: SIGN_COMMAND names no file: write {file} where the installer goes "
        "(a tool that signs in place) or {in} and {out} (one that writes a new file)")
    endif()
    list(APPEND options --sign-command "${arg_SIGN_COMMAND}")
  endif()

  set(feed_command "")
  if(arg_FEED)
    get_filename_component(feed "${arg_FEED}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    set(feed_command COMMAND "${pack}" feed --feed "${feed}" --installer "${output}" --quiet)
  endif()
  add_custom_command(OUTPUT "${output}"
    ${stage_commands}
    COMMAND "${pack}" build ${options}
    ${feed_command}
    DEPENDS "${target}" ${inputs} "${pack}" "${stub}"
    COMMENT "Packing ${target} into its installer"
    VERBATIM)
  add_custom_target("${target}-installer" ALL DEPENDS "${output}")
  if(used_targets)
    add_dependencies("${target}-installer" ${used_targets})
  endif()
  set_property(TARGET "${target}" PROPERTY PLINTH_INSTALLER "${output}")
endfunction()

# _plinth_destination(<DESTINATION> <variable>): the folder below the exe's, as a/b (empty for
# the exe's own); one that would leave the app folder stops the configuration.
function(_plinth_destination destination variable)
  string(REPLACE "\\" "/" path "${destination}")
  if(path MATCHES "^/|^[A-Za-z]:")
    message(FATAL_ERROR "plinth_add_installer: DESTINATION ${destination} must be a folder relative to the exe's")
  endif()
  string(REPLACE "/" ";" components "${path}")
  set(kept "")
  foreach(component IN LISTS components)
    if(component STREQUAL "..")
      message(FATAL_ERROR "plinth_add_installer: DESTINATION ${destination} must stay inside the app folder")
    elseif(NOT component STREQUAL "" AND NOT component STREQUAL ".")
      list(APPEND kept "${component}")
    endif()
  endforeach()
  list(JOIN kept "/" path)
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()
