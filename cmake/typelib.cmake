# The automation type library and its C++ header, compiled from
# automation/vorlin2.idl with widl at build time. widl reads the system's IDL
# files and stdole2.tlb, which Debian ships in libwine-dev.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
find_program(VORLIN_WIDL NAMES x86_64-w64-mingw32-widl widl REQUIRED)
set(VORLIN_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "Folder of oaidl.idl and ocidl.idl for widl")
set(VORLIN_WIDL_LIBRARY /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "Folder of stdole2.tlb for widl")

set(idl_source ${CMAKE_SOURCE_DIR}/automation/vorlin2.idl)
# The library's identifier, read from the description (fix-typelib.py writes it again).
file(STRINGS ${idl_source} library_line REGEX "^    uuid\\(B5E4C991-")
string(REGEX MATCH "B5E4C991-[-0-9A-F]+" library_id "${library_line}")
if(NOT library_id)
  message(FATAL_ERROR "no library identifier found in ${idl_source}")
endif()
set(idl_out ${CMAKE_BINARY_DIR}/automation)
set(VORLIN_TYPELIB ${idl_out}/vorlin2.tlb)
set(widl_args -I${VORLIN_WIDL_INCLUDE} -L${VORLIN_WIDL_LIBRARY} --win64)
file(MAKE_DIRECTORY ${idl_out})
add_custom_command(
  OUTPUT ${idl_out}/vorlin2_sjis.idl
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/sjis-idl.py ${idl_source} ${idl_out}/vorlin2_sjis.idl
  DEPENDS ${idl_source} ${CMAKE_SOURCE_DIR}/cmake/sjis-idl.py
  COMMENT "Shift_JIS copy of the interface description")
add_custom_command(
  OUTPUT ${VORLIN_TYPELIB}
  COMMAND ${VORLIN_WIDL} ${widl_args} -t -o ${VORLIN_TYPELIB} ${idl_out}/vorlin2_sjis.idl
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/fix-typelib.py ${VORLIN_TYPELIB} ${library_id}
  DEPENDS ${idl_out}/vorlin2_sjis.idl ${CMAKE_SOURCE_DIR}/cmake/fix-typelib.py
  COMMENT "Type library vorlin2.tlb")
add_custom_command(
  OUTPUT ${idl_out}/vorlin2_h.h
  COMMAND ${VORLIN_WIDL} ${widl_args} -h -o ${idl_out}/vorlin2_h.h ${idl_out}/vorlin2_sjis.idl
  DEPENDS ${idl_out}/vorlin2_sjis.idl
  COMMENT "Header of the automation interfaces")
add_custom_target(vorlin_typelib DEPENDS ${VORLIN_TYPELIB} ${idl_out}/vorlin2_h.h)
