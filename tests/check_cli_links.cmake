# Fails when vornax-cli loads Qt at start-up: neither the binary nor any library it
# needs may be a Qt library, and the plot renderer module (which does need Qt) must be
# opened by plot at run time, not linked. The module is checked to need Qt, so that a
# broken ldd (empty output) cannot pass for a clean binary.
# Run as: cmake -DCLI=<vornax-cli> -DRENDERER=<vornax-plot-renderer.so> -P check_cli_links.cmake
foreach(file CLI RENDERER)
  execute_process(COMMAND ldd ${${file}} OUTPUT_VARIABLE ${file}_libs RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "ldd failed on ${${file}}")
  endif()
endforeach()
if(NOT RENDERER_libs MATCHES "libQt6Gui")
  message(FATAL_ERROR "the renderer module does not need Qt: is this check reading ldd right?\n${RENDERER_libs}")
endif()
if(NOT CLI_libs MATCHES "libc\\.so")
  message(FATAL_ERROR "ldd listed nothing for vornax-cli:\n${CLI_libs}")
endif()
string(REGEX MATCHALL "[^\n]*(libQt|vornax-plot-renderer)[^\n]*" bad "${CLI_libs}")
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "vornax-cli loads at start-up:\n${bad}")
endif()
