# dorvane_delay_load(TARGET SCOPE DEF [WHOLE]): TARGET links the DLL that DEF names (its
# LIBRARY line; DEF, NAME_delay.def, lists the functions called) delay-loaded: the DLL loads
# at the first call of one of them, not with the program. SCOPE is PRIVATE for a program,
# PUBLIC for a library whose users get the DLL that way. WHOLE (for a DLL that other
# libraries link as usual; call it before linking them): the import library made from DEF
# is linked whole under GNU ld, so that its entries are defined before the ordinary import
# library could bring them in.
#   - MSVC: /DELAYLOAD, with the DLL's own import library.
#   - GNU ld: a delay-load import library made by dlltool (--output-delaylib).
#   - lld (the Clang build): --delayload, with an import library in LLVM's short form made
#     by llvm-dlltool. lld does not delay-load from GNU import libraries, and puts what a
#     GNU delay-load library brings into the import address table, which the loader leaves
#     read-only: the delay-load helper's first call then faults writing the address.
# The library is libNAME.a, made by the target NAMElib in the calling folder.
include_guard(GLOBAL)

function(dorvane_delay_load target scope def)
  cmake_parse_arguments(D "WHOLE" "" "" ${ARGN})
  file(STRINGS ${def} library REGEX "^LIBRARY ")
  string(REGEX REPLACE "^LIBRARY +([^ ]+)\\.dll.*" "\\1" dll "${library}")
  if(MSVC)
    target_link_libraries(${target} ${scope} ${dll} delayimp)
    target_link_options(${target} ${scope} /DELAYLOAD:${dll}.dll)
    return()
  endif()

  get_filename_component(name ${def} NAME_WE)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # x64: the same names without their x86 argument sizes (x64 has one convention).
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(input ${CMAKE_CURRENT_BINARY_DIR}/${name}_x64.def)
    file(WRITE ${input} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    set(killat "")
    set(machine i386:x86-64)
  else()
    # x86: the names keep their @N as symbols and are imported without it.
    set(input ${def})
    set(killat --kill-at)
    set(machine i386)
  endif()
  if(CMAKE_EXE_LINKER_FLAGS MATCHES "-fuse-ld=lld")
    find_program(DORVANE_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)
    set(make ${DORVANE_LLVM_DLLTOOL} -m ${machine} $<$<BOOL:${killat}>:-k> -d ${input} -l lib${name}.a)
    target_link_options(${target} ${scope} -Wl,--delayload=${dll}.dll)
    # lld takes a name from the first library on the line that has it; a short-form
    # library cannot be taken whole.
    set(D_WHOLE OFF)
  else()
    # dlltool names the library's members and its import-name symbol after the output path
    # as given: a bare file name keeps the build folder out of them.
    set(make ${CMAKE_DLLTOOL} ${killat} --input-def ${input} --output-delaylib lib${name}.a)
    # GNU ld for x86 drops a stub's code when nothing calls the function by its own name,
    # only through its __imp_ pointer (as a dllimport declaration does, InitCommonControlsEx
    # in commctrl.h): in a delay-load library that code is what the pointer first holds, so
    # the pointer would be left null and the first call would jump to 0. Every function of
    # the .def is made a reference of its own (x86 symbols: _Name@N; x64: Name).
    file(STRINGS ${input} exports REGEX "^[A-Za-z_][A-Za-z_0-9@]*$")
    foreach(function IN LISTS exports)
      if(NOT function STREQUAL "EXPORTS")
        if(killat)
          set(function _${function})
        endif()
        target_link_options(${target} ${scope} -Wl,--undefined=${function})
      endif()
    endforeach()
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${make}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DEPENDS ${input}
    COMMENT "Delay-load import library lib${name}.a")
  add_custom_target(${name}lib DEPENDS ${lib})
  add_dependencies(${target} ${name}lib)
  if(D_WHOLE)
    target_link_libraries(${target} ${scope} -Wl,--whole-archive ${lib} -Wl,--no-whole-archive delayimp)
  else()
    target_link_libraries(${target} ${scope} ${lib} delayimp)
  endif()
endfunction()
