# Writes a linker script that is mingw ld's default with two changes: .rsrc comes after .reloc,
# so that the resource section is the executable's last (the packer rewrites the resources by
# replacing that last section, which needs nothing after it); and fewer, fuller sections.
function(plinth_write_rsrc_last_script linker output)
  execute_process(COMMAND ${linker} --verbose OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${linker} --verbose failed")
  endif()
  # The script sits between two lines of equals signs.
  string(FIND "${text}" "\n=====" start)
  string(SUBSTRING "${text}" ${start} -1 text)
  string(REGEX REPLACE "^\n=+\n" "" text "${text}")
  string(FIND "${text}" "\n=====" end)
  string(SUBSTRING "${text}" 0 ${end} text)
  string(REGEX MATCH "  \\.rsrc [^}]*}\n" rsrc "${text}")
  string(REGEX MATCH "  \\.reloc [^}]*}\n" reloc "${text}")
  if(NOT rsrc OR NOT reloc)
    message(FATAL_ERROR "Unexpected default linker script of ${linker}")
  endif()
  string(REPLACE "${rsrc}${reloc}" "${reloc}${rsrc}" swapped "${text}")
  if(swapped STREQUAL text)
    message(FATAL_ERROR "No .rsrc directly before .reloc in the linker script of ${linker}")
  endif()
  # Every section is padded to 512 bytes in the file. The small ones go inside a neighbour of the
  # same access: the TLS template (first, where its section-relative offsets start), the CRT's
  # tables of start-up functions into .data, which is as writable; the unwind codes into .rdata,
  # before the pseudo-relocation list, which must stay last. .pdata stays a section of its own:
  # the linker points the exception directory at the section of that name.
  foreach(name CRT tls xdata)
    string(REGEX MATCH "  \\.${name} BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)  }\n" block "${swapped}")
    if(NOT block)
      message(FATAL_ERROR "No .${name} section in the linker script of ${linker}")
    endif()
    set(${name}_body "${CMAKE_MATCH_1}")
    string(REPLACE "${block}" "" swapped "${swapped}")
  endforeach()
  set(data_head "  .data BLOCK(__section_alignment__) :\n  {\n")
  set(rdata_tail "    . = ALIGN(4);\n    __rt_psrelocs_start = .;\n")
  string(FIND "${swapped}" "${data_head}" at_data)
  string(FIND "${swapped}" "${rdata_tail}" at_rdata)
  if(at_data EQUAL -1 OR at_rdata EQUAL -1)
    message(FATAL_ERROR "Unexpected .data or .rdata in the linker script of ${linker}")
  endif()
  # (.CRT$XD*, the bounds of the thread-local initializers, have no line of their own: ld put
  # them in .CRT by name.)
  string(REPLACE "${data_head}" "${data_head}${tls_body}${CRT_body}    KEEP (*(SORT(.CRT$XD*)))\n"
    swapped "${swapped}")
  string(REPLACE "${rdata_tail}" "${xdata_body}${rdata_tail}" swapped "${swapped}")
  file(WRITE ${output} "${swapped}")
endfunction()
