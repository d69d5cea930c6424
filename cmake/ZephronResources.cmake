# zephron_add_resource(TARGET NAME FILE): links the bytes of FILE (which may
# be made by the build) into the executable TARGET as the program resource
# NAME (platform/resources.h). On Windows the file becomes an RCDATA resource
# of the executable's resource section, compiled by windres. Elsewhere the
# bytes are assembled with .incbin, so a large file costs no compile time;
# the generated registration runs before main.
function(zephron_add_resource target name file)
  set(_base ${CMAKE_CURRENT_BINARY_DIR}/resource_${target}_${name})
  if(WIN32)
    file(WRITE ${_base}.rc.in "${name} RCDATA \"${file}\"\n")
    configure_file(${_base}.rc.in ${_base}.rc COPYONLY)
    set_source_files_properties(${_base}.rc PROPERTIES OBJECT_DEPENDS ${file})
    target_sources(${target} PRIVATE ${_base}.rc)
    return()
  endif()
  string(MAKE_C_IDENTIFIER "zephron_resource_${target}_${name}" _symbol)
  file(WRITE ${_base}.S.in
    "    .section .rodata\n"
    "    .balign 16\n"
    "    .global ${_symbol}_begin\n"
    "    .global ${_symbol}_end\n"
    "${_symbol}_begin:\n"
    "    .incbin \"${file}\"\n"
    "${_symbol}_end:\n"
    "    .byte 0\n"
    "    .section .note.GNU-stack,\"\",@progbits\n")
  configure_file(${_base}.S.in ${_base}.S COPYONLY)
  file(WRITE ${_base}.cpp.in
    "#include \"platform/resources.h\"\n"
    "extern \"C\" const unsigned char ${_symbol}_begin[];\n"
    "extern \"C\" const unsigned char ${_symbol}_end[];\n"
    "namespace {\n"
    "[[maybe_unused]] const bool registered = (zephron::platform::RegisterResource(\"${name}\", ${_symbol}_begin,\n"
    "    static_cast<std::size_t>(${_symbol}_end - ${_symbol}_begin)), true);\n"
    "}\n")
  configure_file(${_base}.cpp.in ${_base}.cpp COPYONLY)
  set_source_files_properties(${_base}.S PROPERTIES LANGUAGE ASM OBJECT_DEPENDS ${file})
  target_sources(${target} PRIVATE ${_base}.S ${_base}.cpp)
endfunction()
