# Per-target build settings: the language level, the warning set and the
# optional sanitizer instrumentation. Nothing here touches global flags.

function(dovrel_configure_target target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion>)

  if(DOVREL_FUZZ)
    # Coverage for the fuzzer in every library; the fuzz programs add the
    # fuzzer's own main.
    set(_san -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  elseif(DOVREL_SANITIZE STREQUAL "address")
    set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  elseif(DOVREL_SANITIZE STREQUAL "thread")
    set(_san -fsanitize=thread -fno-omit-frame-pointer)
  elseif(NOT DOVREL_SANITIZE STREQUAL "")
    message(FATAL_ERROR "DOVREL_SANITIZE must be empty, 'address' or 'thread'")
  endif()
  if(NOT _san)
    # Hardened as Debian builds its packages: both programs read bytes from
    # hostile hosts. _FORTIFY_SOURCE needs the optimiser, and the sanitizers
    # bring checks of their own.
    target_compile_options(${target} PRIVATE
      $<$<CXX_COMPILER_ID:GNU,Clang>:-fstack-protector-strong -fstack-clash-protection -fcf-protection
        -Wformat -Werror=format-security>
      $<$<AND:$<CXX_COMPILER_ID:GNU,Clang>,$<NOT:$<CONFIG:Debug>>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    get_target_property(_type ${target} TYPE)
    if(_type STREQUAL "EXECUTABLE" OR _type STREQUAL "MODULE_LIBRARY")
      target_link_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-Wl,-z,relro -Wl,-z,now>)
    endif()
  endif()
  if(_san)
    target_compile_options(${target} PRIVATE ${_san})
    get_target_property(_type ${target} TYPE)
    if(_type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE ${_san})
    else()
      target_link_options(${target} INTERFACE ${_san})
    endif()
  endif()
endfunction()

# One room of the worker: a library of its own. Every header is reached from
# the one include root, the source tree ("common/net/unique_fd.h"), so it has
# one path and tools find it where it lives; which room may include which is
# checked by scripts/check_layers (run by scripts/lint), from its table.
#   dovrel_room(<room> [SOURCES files...] [LINKS targets...] [PRIVATE_LINKS targets...])
function(dovrel_room room)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
  set(target dovrel_${room})
  if(ARG_SOURCES)
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
    dovrel_configure_target(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_LINKS})
    target_compile_features(${target} INTERFACE cxx_std_20)
  endif()
endfunction()
