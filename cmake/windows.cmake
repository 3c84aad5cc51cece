# The Windows program: Form1 in a Win32 window, with its manifest and version
# information. Included by the top-level CMakeLists.txt when building for Windows.
enable_language(RC)

set(FIX_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/runtime/win32/FixInputFiles.manifest)
configure_file(runtime/win32/FixInputFiles.rc.in ${CMAKE_CURRENT_BINARY_DIR}/FixInputFiles.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/FixInputFiles.rc PROPERTIES
  OBJECT_DEPENDS ${FIX_MANIFEST})

add_executable(FixInputFiles WIN32
  window/main.cpp
  runtime/ui_win32.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/FixInputFiles.rc
)
target_link_libraries(FixInputFiles PRIVATE fixinput_core)
