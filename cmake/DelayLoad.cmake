# DLLs that a program may import directly: the system's KnownDLLs, which Windows maps from its
# own folder whatever lies beside the program, and comctl32, which the manifest binds to the
# side-by-side version 6. Every other DLL is linked through quillon_delay_load_library.
set(QUILLON_ALLOWED_IMPORTS
    kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll shell32.dll
    msvcrt.dll comctl32.dll)

# quillon_delay_load_library(name [DEF file]): the library target delayload_<name>, to link
# instead of <name> itself. The program then does not import <name>.dll: its functions are
# bound on their first call, and winfx's delay-load hook (winfx/DllSearch.h) loads the DLL
# from the system folder only. The exports are those of the toolchain's import library
# lib<name>.a, or those of a .def file given as DEF (for a DLL the toolchain does not know).
function(quillon_delay_load_library name)
  cmake_parse_arguments(D "" "DEF" "" ${ARGN})
  set(library "${CMAKE_BINARY_DIR}/delayload/libdelayload_${name}.a")
  if(D_DEF)
    set(source --def "${D_DEF}")
    set(depends "${D_DEF}")
  else()
    find_library(QUILLON_IMPORT_LIBRARY_${name} NAMES "lib${name}.a" REQUIRED)
    set(source --import-library "${QUILLON_IMPORT_LIBRARY_${name}}")
    set(depends "${QUILLON_IMPORT_LIBRARY_${name}}")
  endif()
  set(script "${PROJECT_SOURCE_DIR}/cmake/make_delay_import_library.py")
  add_custom_command(
    OUTPUT "${library}"
    COMMAND Python3::Interpreter "${script}" --dll "${name}.dll" ${source}
            --nm "${CMAKE_NM}" --dlltool "${CMAKE_DLLTOOL}" --objcopy "${CMAKE_OBJCOPY}"
            --output "${library}"
    DEPENDS "${script}" ${depends}
    COMMENT "Making the delay-load library of ${name}.dll"
    VERBATIM)
  add_custom_target(delayload_${name}_file DEPENDS "${library}")
  add_library(delayload_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(delayload_${name} PROPERTIES IMPORTED_LOCATION "${library}")
  add_dependencies(delayload_${name} delayload_${name}_file)
endfunction()
