# Embeds a four-part file version (major, minor, build, revision; 16 bits each) into an
# executable as the named ELF section "quorvane_version". The platform layer's file version
# reader finds it in any file, which is how the programs compare installed versions.

set(_quorvane_version_template "${CMAKE_CURRENT_LIST_DIR}/file_version_note.c.in")

function(quorvane_embed_version target major minor build revision)
  foreach(_part IN ITEMS ${major} ${minor} ${build} ${revision})
    if(NOT _part MATCHES "^[0-9]+$" OR _part GREATER 65535)
      message(FATAL_ERROR "quorvane_embed_version(${target}): '${_part}' is not a 16-bit number")
    endif()
  endforeach()
  set(QUORVANE_VERSION_MAJOR ${major})
  set(QUORVANE_VERSION_MINOR ${minor})
  set(QUORVANE_VERSION_BUILD ${build})
  set(QUORVANE_VERSION_REVISION ${revision})
  set(_note "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_note.c")
  configure_file("${_quorvane_version_template}" "${_note}" @ONLY)
  target_sources(${target} PRIVATE "${_note}")
endfunction()
