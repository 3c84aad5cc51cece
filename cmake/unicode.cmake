# Unicode for the report of removed symbols: utf8proc, compiled from the
# source that tools/install-deps fetches, and the character names and
# look-alikes, written as C++ data from Unicode's own files at build time.
set(FIX_SOURCES_DIR ${CMAKE_CURRENT_SOURCE_DIR}/.cache/sources)
set(FIX_UNICODE_DATA_DIR /usr/share/unicode)
# The IPA's symbols and their X-SAMPA spellings (Debian's rime-data-ipa-xsampa).
set(FIX_IPA_TABLE /usr/share/rime-data/ipa_xsampa.dict.yaml)
if(NOT EXISTS ${FIX_SOURCES_DIR}/utf8proc/utf8proc.c)
  message(FATAL_ERROR "utf8proc's source is missing: run tools/install-deps (make does)")
endif()

# Normalisation, the names, the invisible characters and the look-alikes must
# all be of one version of Unicode, or the report's notes and its tests
# disagree with each other: a version of any one that moves stops the build.
function(fix_unicode_version file pattern out)
  file(STRINGS ${file} found REGEX "${pattern}" LIMIT_COUNT 1)
  string(REGEX REPLACE ".*${pattern}.*" "\\1" version "${found}")
  set(${out} "${version}" PARENT_SCOPE)
endfunction()
fix_unicode_version(${FIX_SOURCES_DIR}/utf8proc/utf8proc.c "return \"([0-9]+\\.[0-9]+\\.[0-9]+)\""
                    FIX_UTF8PROC_UNICODE)
fix_unicode_version(${FIX_UNICODE_DATA_DIR}/NamesList.txt "The Unicode Standard ([0-9.]+)"
                    FIX_NAMES_UNICODE)
fix_unicode_version(${FIX_UNICODE_DATA_DIR}/DerivedCoreProperties.txt
                    "DerivedCoreProperties-([0-9.]+)\\.txt" FIX_PROPERTIES_UNICODE)
fix_unicode_version(${FIX_SOURCES_DIR}/unicode/confusables.txt "Version: ([0-9.]+)"
                    FIX_CONFUSABLES_UNICODE)
foreach(version FIX_NAMES_UNICODE FIX_PROPERTIES_UNICODE FIX_CONFUSABLES_UNICODE)
  if(NOT "${${version}}" STREQUAL "${FIX_UTF8PROC_UNICODE}")
    message(FATAL_ERROR "Unicode versions differ: utf8proc has ${FIX_UTF8PROC_UNICODE}, "
      "unicode-data's names ${FIX_NAMES_UNICODE} and properties ${FIX_PROPERTIES_UNICODE}, "
      "confusables.txt ${FIX_CONFUSABLES_UNICODE}. Install the versions tools/packages.txt "
      "names (make deps), or remove .cache/sources to fetch them again.")
  endif()
endforeach()

add_library(utf8proc STATIC ${FIX_SOURCES_DIR}/utf8proc/utf8proc.c)
target_compile_definitions(utf8proc PUBLIC UTF8PROC_STATIC)
target_compile_options(utf8proc PRIVATE -w)
target_include_directories(utf8proc SYSTEM PUBLIC ${FIX_SOURCES_DIR}/utf8proc)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(FIX_UNICODE_GENERATED ${CMAKE_BINARY_DIR}/unicode)
add_custom_command(
  OUTPUT ${FIX_UNICODE_GENERATED}/unicode_names.inc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FIX_UNICODE_GENERATED}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/tools/unicode_tables.py
    ${FIX_UNICODE_DATA_DIR}/UnicodeData.txt ${FIX_UNICODE_DATA_DIR}/NameAliases.txt
    ${FIX_SOURCES_DIR}/unicode/confusables.txt ${FIX_UNICODE_DATA_DIR}/DerivedCoreProperties.txt
    ${FIX_UNICODE_DATA_DIR}/NamesList.txt ${FIX_IPA_TABLE} ${FIX_UNICODE_GENERATED}/unicode_names.inc
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/unicode_tables.py
    ${FIX_UNICODE_DATA_DIR}/UnicodeData.txt ${FIX_UNICODE_DATA_DIR}/NameAliases.txt
    ${FIX_SOURCES_DIR}/unicode/confusables.txt ${FIX_UNICODE_DATA_DIR}/DerivedCoreProperties.txt
    ${FIX_UNICODE_DATA_DIR}/NamesList.txt ${FIX_IPA_TABLE}
  COMMENT "Writing the Unicode tables"
  VERBATIM)
# A source of the targets that compile engine/unicode.cpp, in this folder.
set(FIX_UNICODE_TABLES ${FIX_UNICODE_GENERATED}/unicode_names.inc)

# What the engine's Unicode code is built with.
add_library(unicode_data INTERFACE)
target_include_directories(unicode_data INTERFACE ${FIX_UNICODE_GENERATED})
target_link_libraries(unicode_data INTERFACE utf8proc)
