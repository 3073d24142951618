# Stages the app folder of plinth_add_installer; run by the build before the packer:
#
#   cmake -DLIST=<file> -DMANIFEST=<file> -DAPP=<folder> -P plinth_stage.cmake
#
# LIST, written by plinth_add_installer, calls stage(<argument> <folder> <files>) for the
# target's file first, then for every other file: the plinth_add_installer argument it came
# from, and its folder below the exe's. APP ends up holding exactly these files: the exe
# under the manifest's "exe" (the packer looks for it there), the others at their place. What an
# earlier stage left and the list no longer has is deleted; a file is copied only when its bytes
# differ. Two files that would be one file on Windows stop the build, naming their arguments: the
# folder can't hold both, so the packer would never see them.
cmake_minimum_required(VERSION 3.20)

set(origins "")
set(sources "")
set(paths "")

function(stage origin folder files)
  foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    if(folder STREQUAL "")
      list(APPEND paths "${name}")
    else()
      list(APPEND paths "${folder}/${name}")
    endif()
    list(APPEND origins "${origin}")
    list(APPEND sources "${file}")
  endforeach()
  set(origins "${origins}" PARENT_SCOPE)
  set(sources "${sources}" PARENT_SCOPE)
  set(paths "${paths}" PARENT_SCOPE)
endfunction()

function(refuse text)
  message(FATAL_ERROR "plinth_add_installer: ${text}")
endfunction()

# shown(<index> <variable>): the file's path as the packer names it, in quotes, with its argument.
function(shown index variable)
  list(GET paths ${index} path)
  list(GET origins ${index} origin)
  string(REPLACE "/" "\\" path "${path}")
  set(${variable} "\"${path}\" (from ${origin})" PARENT_SCOPE)
endfunction()

include("${LIST}")

# The exe goes in under the manifest's name for it; a manifest the packer will refuse leaves the
# target's own name, and the packer says what is wrong.
file(READ "${MANIFEST}" manifest)
string(JSON exe_name ERROR_VARIABLE error GET "${manifest}" exe)
if(NOT error AND exe_name MATCHES [[^[^/\\]+$]] AND NOT exe_name MATCHES [[^\.\.?$]])
  list(REMOVE_AT paths 0)
  list(INSERT paths 0 "${exe_name}")
endif()

# Checked all before anything is copied. Windows compares names ignoring case, so the keys are
# the paths in lower case: the variable "file <key>" holds the index of the file of that path,
# "folder <key>" that of the first file below that folder.
list(LENGTH sources count)
math(EXPR last "${count} - 1")
set(kept "")
foreach(i RANGE ${last})
  list(GET sources ${i} source)
  list(GET paths ${i} path)
  list(GET origins ${i} origin)
  if(NOT EXISTS "${source}")
    refuse("${origin}: ${source} does not exist.")
  elseif(IS_DIRECTORY "${source}")
    refuse("${origin}: ${source} is a folder, not a file.")
  endif()
  string(TOLOWER "${path}" key)
  set(name "file ${key}")
  if(DEFINED "${name}")
    set(other "${${name}}")
    list(GET sources ${other} other_source)
    list(GET paths ${other} other_path)
    if(other_source STREQUAL source AND other_path STREQUAL path)
      continue()  # the same file named twice, a DLL in RUNTIME_DLLS and FILES say
    endif()
    shown(${other} first)
    shown(${i} second)
    refuse("The app folder has ${first} and ${second}, which are one file on Windows (it ignores case). Rename or remove one of them.")
  endif()
  set("${name}" ${i})
  list(APPEND kept ${i})
  set("want file ${path}" TRUE)
  get_filename_component(folder "${path}" DIRECTORY)
  while(NOT folder STREQUAL "")
    set("want folder ${folder}" TRUE)
    string(TOLOWER "${folder}" folder_key)
    if(NOT DEFINED "folder ${folder_key}")
      set("folder ${folder_key}" ${i})
    endif()
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
foreach(i IN LISTS kept)
  list(GET paths ${i} path)
  string(TOLOWER "${path}" key)
  set(name "folder ${key}")
  if(DEFINED "${name}")
    shown(${i} file)
    shown(${${name}} below)
    string(REPLACE "/" "\\" path "${path}")
    refuse("The app folder has \"${path}\" both as a file and as a folder: ${file} and ${below}.")
  endif()
endforeach()

# Whatever is there and not wanted goes, a folder with all it holds.
file(MAKE_DIRECTORY "${APP}")
file(GLOB_RECURSE present LIST_DIRECTORIES true RELATIVE "${APP}" "${APP}/*")
foreach(path IN LISTS present)
  if(IS_DIRECTORY "${APP}/${path}")
    if(NOT DEFINED "want folder ${path}")
      file(REMOVE_RECURSE "${APP}/${path}")
    endif()
  elseif(NOT DEFINED "want file ${path}")
    file(REMOVE "${APP}/${path}")
  endif()
endforeach()

# configure_file COPYONLY copies the bytes a link points to, and leaves an equal copy untouched.
foreach(i IN LISTS kept)
  list(GET sources ${i} source)
  list(GET paths ${i} path)
  configure_file("${source}" "${APP}/${path}" COPYONLY)
endforeach()
