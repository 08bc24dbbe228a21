# Shared build settings: compiler cache, warnings, precompiled Qt headers,
# and the folder-per-library source collection every target uses.

find_program(TOVALIT_CCACHE ccache)
if(TOVALIT_CCACHE)
  # Precompiled headers only hit the cache with these sloppiness settings
  # (a fresh build writes its .gch just before using it). The price: a
  # header saved while a build runs can be cached stale; rebuild with
  # CCACHE_RECACHE=1 then.
  # Paths are taken relative to the checkout, so a fresh clone elsewhere
  # (CI) reuses what another checkout compiled; the cache is sized for a
  # tree this big with debug information.
  set(CMAKE_CXX_COMPILER_LAUNCHER
      ${CMAKE_COMMAND} -E env
      "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
      "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}"
      "CCACHE_NOHASHDIR=true"
      "CCACHE_MAXSIZE=12G"
      ${TOVALIT_CCACHE})
endif()

# Sanitizer builds (scripts/test --sanitize KIND), each in a build folder of
# its own: "address" finds memory errors, leaks and undefined behaviour,
# "thread" finds data races. Every target, the test tools included, is
# built with the same flags, so a report can point into any of them.
set(TOVALIT_SANITIZE "" CACHE STRING "Sanitizers to build with: address (with undefined) or thread")
if(TOVALIT_SANITIZE STREQUAL "address")
  # Undefined behaviour stops the test like a memory error does, so no
  # report can scroll by unnoticed in a passing run.
  set(TOVALIT_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
                              -fno-omit-frame-pointer)
elseif(TOVALIT_SANITIZE STREQUAL "thread")
  set(TOVALIT_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT TOVALIT_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TOVALIT_SANITIZE is address, thread or empty, not ${TOVALIT_SANITIZE}")
endif()
if(TOVALIT_SANITIZER_FLAGS)
  add_compile_options(${TOVALIT_SANITIZER_FLAGS})
  add_link_options(${TOVALIT_SANITIZER_FLAGS})
  # The instrumentation hides from GCC's flow analysis which union member
  # a std::variant or std::optional holds, and it then warns of values
  # "maybe used uninitialized" in Qt's moves, with warnings as errors; the
  # plain build keeps the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

set(TOVALIT_PCH_HEADERS
    <QtCore/QByteArray>
    <QtCore/QDateTime>
    <QtCore/QHash>
    <QtCore/QJsonArray>
    <QtCore/QJsonDocument>
    <QtCore/QJsonObject>
    <QtCore/QList>
    <QtCore/QObject>
    <QtCore/QPointer>
    <QtCore/QString>
    <QtCore/QStringList>
    <QtCore/QUrl>
    <QtCore/QUuid>
    <qcoro/qcorotask.h>
    <functional>
    <memory>
    <optional>
    <vector>)

# Every target gets the warnings, the Qt definitions and precompiled Qt
# headers. With PCH_FROM, the precompiled headers of that target are used
# instead of a copy of its own: one precompiled header weighs about 150 MB
# with debug information, and the test and benchmark executables, which all
# link the same libraries, would otherwise each build one. A target of one
# source file gains nothing from precompiling and takes NO_PCH.
#   tovalit_target_defaults(target [PCH_FROM other | NO_PCH])
function(tovalit_target_defaults target)
  cmake_parse_arguments(ARG "NO_PCH" "PCH_FROM" "" ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TOVALIT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER
                                               QT_NO_CAST_FROM_BYTEARRAY)
  if(ARG_PCH_FROM)
    target_precompile_headers(${target} REUSE_FROM ${ARG_PCH_FROM})
  elseif(NOT ARG_NO_PCH)
    target_precompile_headers(${target} PRIVATE ${TOVALIT_PCH_HEADERS})
  endif()
endfunction()

# Collects the sources of one library from its folder (recursively), so
# adding a file never means editing a list.
function(tovalit_collect_sources out_var)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(${out_var} ${sources} PARENT_SCOPE)
endfunction()

# Adds a static library built from every source under the given folders
# (relative to src/). A library whose folders hold no source yet is an
# interface library carrying only its dependencies.
#   tovalit_add_library(name FOLDERS a b PUBLIC_LIBS ... PRIVATE_LIBS ...)
function(tovalit_add_library name)
  cmake_parse_arguments(ARG "" "" "FOLDERS;EXCLUDE;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  set(sources)
  foreach(folder IN LISTS ARG_FOLDERS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.h)
    list(APPEND sources ${found})
  endforeach()
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  if(sources)
    add_library(${name} SHARED ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    tovalit_target_defaults(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_LIBS})
  endif()
endfunction()
