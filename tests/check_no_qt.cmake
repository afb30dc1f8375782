# Fails when a domain source includes a Qt header.
file(GLOB_RECURSE _files ${ROOT}/core/* ${ROOT}/selection/* ${ROOT}/refine/* ${ROOT}/files/*
     ${ROOT}/profile/* ${ROOT}/viewer/* ${ROOT}/cli/*)
foreach(f ${_files})
  file(STRINGS ${f} _hits REGEX "#[ \t]*include[ \t]*<Q")
  if(_hits)
    message(FATAL_ERROR "Qt header in domain code: ${f}: ${_hits}")
  endif()
endforeach()
