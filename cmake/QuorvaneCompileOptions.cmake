# Warnings, sanitizers and the interface target every project target links.

add_library(quorvane_compile_options INTERFACE)
target_compile_options(quorvane_compile_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-qual
  # Aggregates are often given only their leading fields; the rest keep their defaults.
  -Wno-missing-field-initializers
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast>
  # GCC 12 reports -Wrestrict falsely for ordinary std::string concatenation at -O3.
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)

# CI builds treat every warning as an error.
if(DEFINED ENV{CI} AND "$ENV{CI}" STREQUAL "true")
  target_compile_options(quorvane_compile_options INTERFACE -Werror)
endif()

if(QUORVANE_SANITIZE)
  set(_allowed address undefined thread)
  foreach(_sanitizer IN LISTS QUORVANE_SANITIZE)
    if(NOT _sanitizer IN_LIST _allowed)
      message(FATAL_ERROR "QUORVANE_SANITIZE: unknown sanitizer '${_sanitizer}'")
    endif()
  endforeach()
  if("thread" IN_LIST QUORVANE_SANITIZE AND "address" IN_LIST QUORVANE_SANITIZE)
    message(FATAL_ERROR "QUORVANE_SANITIZE: thread cannot be combined with address")
  endif()
  list(JOIN QUORVANE_SANITIZE "," _sanitizers)
  add_compile_options(-fsanitize=${_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_sanitizers})
  add_compile_definitions(QUORVANE_SANITIZED=1)
endif()

# Each project library gets one call: a static library named after its folder.
function(quorvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE quorvane_compile_options ${ARG_PRIVATE})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# A fuzz build instruments every library it links, so the fuzzers get coverage feedback from
# the parsers themselves and the sanitizers check them; only the harnesses link the fuzzer.
if(QUORVANE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
