# The program itself on Linux: window/main.cpp with the FLTK window services.
# FLTK is linked in statically, so the executable needs only the X11 libraries
# that every Linux desktop has; libstdc++ goes in too, for older desktops.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  find_package(Fontconfig REQUIRED)
  find_package(Threads REQUIRED)
  find_library(FLTK_STATIC_LIBRARY NAMES libfltk.a REQUIRED)
  find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
  foreach(x11_part Xft Xext Xrender Xcursor Xfixes Xinerama)
    if(NOT TARGET X11::${x11_part})
      message(FATAL_ERROR "X11 library ${x11_part} not found (Debian: libfltk1.3-dev brings it)")
    endif()
  endforeach()

  add_library(fixinput_fltk STATIC runtime/ui_fltk.cpp)
  target_include_directories(fixinput_fltk SYSTEM PRIVATE ${FLTK_INCLUDE_DIR})
  target_link_libraries(fixinput_fltk PUBLIC
    fixinput_core ${FLTK_STATIC_LIBRARY}
    X11::Xft X11::Xext X11::Xrender X11::Xcursor X11::Xfixes X11::Xinerama X11::X11
    Fontconfig::Fontconfig Threads::Threads ${CMAKE_DL_LIBS} m)

  add_executable(FixInputFiles window/main.cpp)
  target_link_libraries(FixInputFiles PRIVATE fixinput_fltk)
  if(NOT FIX_SANITIZE)
    target_link_options(FixInputFiles PRIVATE -static-libstdc++ -static-libgcc)
  endif()

  # The cost of painting the progress captions, for bench/captions.py.
  add_executable(caption_bench bench/caption_bench.cpp)
  target_link_libraries(caption_bench PRIVATE fixinput_fltk)

  if(FIX_TESTS)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    foreach(scenario
        no_display click_twice captions_read_back missing_in missing_symbols
        click_during_run close_when_ready keyboard)
      add_test(NAME gui.${scenario}
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/window_test.py
          ${scenario} $<TARGET_FILE:FixInputFiles> ${CMAKE_CURRENT_SOURCE_DIR}/tests/golden)
      set_tests_properties(gui.${scenario} PROPERTIES
        LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 180)
    endforeach()
  endif()
endif()
