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
