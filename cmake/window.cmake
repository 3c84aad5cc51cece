# The program itself on Linux: window/main.cpp with the FLTK window services.
# The program is linked fully statically (glibc, libstdc++, FLTK, X11, fontconfig
# and the rest from Debian's static archives): it needs no shared library, so it
# starts on any x86-64 Linux with an X server and fonts, whatever its glibc.
# The test programs and the sanitizer build link the same libraries dynamically.
if(NOT WIN32)
  find_package(Threads REQUIRED)
  find_library(FLTK_STATIC_LIBRARY NAMES libfltk.a REQUIRED)
  find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
  # FLTK's libraries and theirs, each before the ones it uses.
  set(FIX_WINDOW_LIBRARIES
    Xft Xcursor Xrender Xfixes Xinerama Xext X11 xcb Xau Xdmcp
    fontconfig freetype png16 brotlidec brotlicommon expat z)
  foreach(library IN LISTS FIX_WINDOW_LIBRARIES)
    find_library(FIX_STATIC_${library} NAMES lib${library}.a)
    if(NOT FIX_STATIC_${library})
      message(FATAL_ERROR "lib${library}.a not found: the static program needs the -dev "
        "packages of tools/packages.txt (run tools/install-deps)")
    endif()
  endforeach()

  add_library(fixinput_fltk STATIC runtime/ui_fltk.cpp)
  target_include_directories(fixinput_fltk SYSTEM PRIVATE ${FLTK_INCLUDE_DIR})
  # By name, so that -static takes each library's archive and other links its shared object.
  target_link_libraries(fixinput_fltk PUBLIC
    fixinput_core ${FLTK_STATIC_LIBRARY} ${FIX_WINDOW_LIBRARIES} Threads::Threads dl m)

  add_executable(FixInputFiles window/main.cpp)
  target_link_libraries(FixInputFiles PRIVATE fixinput_fltk)
  if(NOT FIX_SANITIZE)
    # Static glibc warns at link time about three calls that can load the
    # system's own glibc modules:
    # - getpwnam_r/getpwuid_r: Xlib looks up the home folder (for ~/.Xdefaults)
    #   in the user database when HOME is not set; "files" is built in;
    # - getaddrinfo: libxcb and Xlib's input method resolve a TCP display's
    #   host name (DISPLAY=localhost:10 over SSH); "files" and "dns" are built in;
    # - dlopen: FLTK and Xlib load optional extensions (libXrandr, libXcursor)
    #   at run time. Those would bring the system's libX11 and libc.so into
    #   this process beside the static ones, so they are refused (static_program.cpp).
    target_sources(FixInputFiles PRIVATE runtime/static_program.cpp)
    target_link_options(FixInputFiles PRIVATE -static -Wl,--wrap=dlopen)
  endif()

  # The cost of painting the progress captions, for bench/captions.py.
  add_executable(caption_bench bench/caption_bench.cpp)
  target_link_libraries(caption_bench PRIVATE fixinput_fltk)

  if(FIX_TESTS)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    foreach(scenario
        no_display click_twice captions_read_back missing_in missing_symbols
        click_during_run close_when_ready keyboard hidpi wait_for_other_run)
      add_test(NAME gui.${scenario}
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/window_test.py
          ${scenario} $<TARGET_FILE:FixInputFiles> ${CMAKE_CURRENT_SOURCE_DIR}/tests/golden)
      set_tests_properties(gui.${scenario} PROPERTIES
        LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 180)
    endforeach()
    if(NOT FIX_SANITIZE)
      # The static program alone in an empty root (chroot, as root).
      add_test(NAME gui.empty_root
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/window_test.py
          empty_root $<TARGET_FILE:FixInputFiles> ${CMAKE_CURRENT_SOURCE_DIR}/tests/golden)
      set_tests_properties(gui.empty_root PROPERTIES
        LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 180)
      # make dist's archives, from this program.
      add_test(NAME dist
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/dist_test.py
          $<TARGET_FILE:FixInputFiles>)
      set_tests_properties(dist PROPERTIES TIMEOUT 120)
    endif()
  endif()
endif()
