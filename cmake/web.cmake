# The web edition, built with Emscripten (emcmake cmake -S . -B build-web):
# build-web/FixInputFiles.html, one page that holds its script, its style and
# the program compiled to WebAssembly (build-web/worker.wasm, compressed: the
# Unicode tables make it near a megabyte as it stands).
set(FIX_WEB_LINK_OPTIONS
  -sMODULARIZE=1
  -sEXPORT_NAME=FixInputFilesModule
  -sENVIRONMENT=worker,node
  -sINVOKE_RUN=0
  -sEXPORTED_RUNTIME_METHODS=callMain,ccall,UTF8ToString
  # A hard cap: a run that needed more would end with the out-of-memory error.
  -sINITIAL_MEMORY=8MB
  -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=64MB
  -sTOTAL_STACK=1MB
  # The browser first runs each function as quickly compiled code and swaps in
  # the optimised one only at the function's next call. The optimiser would put
  # every function with one caller inside it, so the scan of the list would end
  # up inside the click, called once, and run slow to the end; bounded, the
  # scan stays a function of its own, called for each stretch of the list.
  -sBINARYEN_EXTRA_PASSES=--one-caller-inline-max-function-size=100
)

# The page puts the outputs in place itself, in the one way a browser has
# (main_web.cpp streams them to it): it needs neither the native window's run
# nor its outputs' temporary files and folder lock. Nor has it a program's
# folder: the page hands the program the folder the files came from.
set(FIX_PAGE_SOURCES ${FIX_CORE_SOURCES})
list(FILTER FIX_PAGE_SOURCES EXCLUDE REGEX
  "^(runtime/(outputs|folder_claim|program_folder)|window/(clean_folder|form1))\\.cpp$")
add_executable(FixInputFilesWorker window/main_web.cpp ${FIX_PAGE_SOURCES}
  runtime/os_web.cpp runtime/ui_web.cpp)
target_include_directories(FixInputFilesWorker PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(FixInputFilesWorker PRIVATE unicode_data)
target_link_options(FixInputFilesWorker PRIVATE ${FIX_WEB_LINK_OPTIONS})
set_target_properties(FixInputFilesWorker PROPERTIES OUTPUT_NAME worker SUFFIX .js)

# The node that runs the compiler's JavaScript also asks the program for the page's texts.
list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 FIX_NODE)
# The page's scripts, in the order they are put together: each uses only what
# those before it declare, and the last starts the page.
set(FIX_PAGE_SCRIPTS texts.js needs.js view.js outputs.js workers.js run.js button.js)
list(TRANSFORM FIX_PAGE_SCRIPTS PREPEND web/page/ OUTPUT_VARIABLE page_scripts)
set(FIX_WEB_SOURCES web/page.html web/page.css ${page_scripts} web/worker.js)
list(TRANSFORM FIX_WEB_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE web_inputs)
string(REPLACE ";" "," page_scripts_argument "${FIX_PAGE_SCRIPTS}")
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/FixInputFiles.html
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/web
    -DSCRIPTS=${page_scripts_argument}
    -DMODULE=$<TARGET_FILE:FixInputFilesWorker>
    -DPROGRAM=$<TARGET_FILE_DIR:FixInputFilesWorker>/worker.wasm
    -DNODE=${FIX_NODE}
    -DVERSION=${PROJECT_VERSION}
    -DOUTPUT=${CMAKE_BINARY_DIR}/FixInputFiles.html
    -P ${CMAKE_CURRENT_SOURCE_DIR}/web/inline.cmake
  DEPENDS FixInputFilesWorker ${web_inputs} ${CMAKE_CURRENT_SOURCE_DIR}/web/inline.cmake
  COMMENT "Putting the page together: build-web/FixInputFiles.html"
  VERBATIM)
add_custom_target(web ALL DEPENDS ${CMAKE_BINARY_DIR}/FixInputFiles.html)
