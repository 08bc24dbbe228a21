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

function(tovalit_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TOVALIT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER
                                               QT_NO_CAST_FROM_BYTEARRAY)
  target_precompile_headers(${target} PRIVATE ${TOVALIT_PCH_HEADERS})
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
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    tovalit_target_defaults(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_LIBS})
  endif()
endfunction()
