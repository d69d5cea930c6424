# Version stamping of our executables.
#
# zephron_stamp_version(TARGET [FILE_VERSION v] [PRODUCT_VERSION v]
#                       [PRODUCT_NAME name] [DESCRIPTION text])
# After TARGET is linked, tools/zephron-stamp writes a VS_VERSIONINFO block
# (CompanyName "Corvexis", language 0x0409, code page 0x04B0; versions default
# to the project's four-part version) and objcopy adds it to the executable as
# the non-loaded section ".zephron.version", where platform/version_info.h
# reads it as the version resource of the file. On Windows the same block
# is the executable's VERSIONINFO resource, compiled by windres from a
# generated .rc file.

if(CMAKE_OBJCOPY)
  set(ZEPHRON_OBJCOPY ${CMAKE_OBJCOPY})
elseif(NOT WIN32)
  find_program(ZEPHRON_OBJCOPY NAMES objcopy REQUIRED)
endif()

# The VERSIONINFO resource of a Windows executable, with the strings
# tools/zephron-stamp writes (language 0x0409, code page 0x04B0).
function(_zephron_version_rc target file_version product_version product_name description)
  string(REPLACE "." "," _file_commas ${file_version})
  string(REPLACE "." "," _product_commas ${product_version})
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  file(WRITE ${_rc}.in
    "1 VERSIONINFO\n"
    "FILEVERSION ${_file_commas}\n"
    "PRODUCTVERSION ${_product_commas}\n"
    "FILEFLAGSMASK 0x3F\nFILEFLAGS 0\nFILEOS 0x40004\nFILETYPE 1\nFILESUBTYPE 0\n"
    "BEGIN\n"
    "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904B0\"\n    BEGIN\n"
    "      VALUE \"CompanyName\", \"Corvexis\"\n"
    "      VALUE \"FileDescription\", \"${description}\"\n"
    "      VALUE \"FileVersion\", \"${file_version}\"\n"
    "      VALUE \"ProductName\", \"${product_name}\"\n"
    "      VALUE \"ProductVersion\", \"${product_version}\"\n"
    "    END\n  END\n"
    "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x0409, 0x04B0\n  END\n"
    "END\n")
  configure_file(${_rc}.in ${_rc} COPYONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()

function(zephron_stamp_version target)
  cmake_parse_arguments(ZV "" "FILE_VERSION;PRODUCT_VERSION;PRODUCT_NAME;DESCRIPTION" "" ${ARGN})
  if(NOT ZV_FILE_VERSION)
    set(ZV_FILE_VERSION ${zephron_VERSION})
  endif()
  if(NOT ZV_PRODUCT_VERSION)
    set(ZV_PRODUCT_VERSION ${ZV_FILE_VERSION})
  endif()
  if(NOT ZV_PRODUCT_NAME)
    set(ZV_PRODUCT_NAME "Zephron")
  endif()
  if(NOT ZV_DESCRIPTION)
    set(ZV_DESCRIPTION ${target})
  endif()
  if(WIN32)
    _zephron_version_rc(${target} ${ZV_FILE_VERSION} ${ZV_PRODUCT_VERSION} "${ZV_PRODUCT_NAME}" "${ZV_DESCRIPTION}")
    return()
  endif()
  set(_block ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.bin)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND $<TARGET_FILE:zephron-stamp> --output ${_block}
            --file-version ${ZV_FILE_VERSION} --product-version ${ZV_PRODUCT_VERSION}
            --product-name ${ZV_PRODUCT_NAME} --description ${ZV_DESCRIPTION}
    COMMAND ${ZEPHRON_OBJCOPY} --remove-section=.zephron.version
            --add-section .zephron.version=${_block}
            --set-section-flags .zephron.version=noload,readonly
            $<TARGET_FILE:${target}>
    COMMENT "Stamping ${target} with version ${ZV_FILE_VERSION}"
    VERBATIM)
  if(NOT target STREQUAL "zephron-stamp")
    add_dependencies(${target} zephron-stamp)
  endif()
endfunction()
