cmake_minimum_required(VERSION 3.20)
# Puts the page together: page.html with its style, its script, the worker's
# script and the WebAssembly program (gzipped, in base64) written in, so the one file needs nothing else; and the program's
# texts for the page, asked of the program itself. Run with cmake -P and
# -DSOURCE=web folder -DSCRIPTS=the page's scripts in web/page, in order,
# separated by commas -DMODULE=worker.js -DPROGRAM=worker.wasm -DNODE=node
# -DVERSION=x.y.z -DOUTPUT=page.
file(READ ${SOURCE}/page.html page)
file(READ ${SOURCE}/page.css style)
# The page's scripts become one, in one block: what each declares is seen by
# those after it, and nothing is left on the window. As modules they would
# import each other by URL, which a page opened from a file cannot fetch.
string(REPLACE "," ";" SCRIPTS "${SCRIPTS}")
set(script "\"use strict\";\n{\n")
foreach(name ${SCRIPTS})
  file(READ ${SOURCE}/page/${name} part)
  string(APPEND script "// page/${name}\n${part}\n")
endforeach()
string(APPEND script "}")
file(READ ${MODULE} module)
file(READ ${SOURCE}/worker.js worker)
execute_process(
  COMMAND ${NODE} -e "const zlib = require('zlib'); process.stdout.write(zlib.gzipSync(require('fs').readFileSync(process.argv[1]), {level: 9}).toString('base64'))"
    ${PROGRAM}
  OUTPUT_VARIABLE program
  RESULT_VARIABLE failed)
if(failed OR program STREQUAL "")
  message(FATAL_ERROR "the program could not be compressed: ${failed}")
endif()
string(APPEND module "\n" "${worker}")
execute_process(
  COMMAND ${NODE} -e "require(process.argv[1])({wasmBinary: require('fs').readFileSync(process.argv[2])}).then((m) => process.stdout.write(m.UTF8ToString(m._PageTexts())))"
    ${MODULE} ${PROGRAM}
  OUTPUT_VARIABLE texts
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the program would not give the page's texts: ${failed}")
endif()
string(JSON title GET "${texts}" title)

# Inside a <script> element these would end it early or change how it is read.
foreach(part script module texts)
  string(TOLOWER "${${part}}" lower)
  foreach(marker "</script" "<!--")
    string(FIND "${lower}" "${marker}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${part} holds '${marker}', which cannot go inside the page's <script>")
    endif()
  endforeach()
endforeach()

string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@TITLE@" "${title}" page "${page}")
string(REPLACE "/*@TEXTS@*/" "${texts}" page "${page}")
string(REPLACE "/*@STYLE@*/" "${style}" page "${page}")
string(REPLACE "/*@SCRIPT@*/" "${script}" page "${page}")
string(REPLACE "/*@WORKER@*/" "${module}" page "${page}")
string(REPLACE "/*@PROGRAM@*/" "${program}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
