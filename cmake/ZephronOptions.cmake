# Compiler settings shared by every target of the project.

add_compile_options(-Wall -Wextra -Werror)

if(ZEPHRON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# zephron_library(NAME [DEPS ...] [PRIVATE_DEPS ...] [UNIX_ONLY FILE...]): the
# library of one folder, built from every .cpp file in it (subfolders such as
# ui/qt define their own targets); the UNIX_ONLY files are left out of the
# Windows build.
function(zephron_library name)
  cmake_parse_arguments(ZL "" "" "DEPS;PRIVATE_DEPS;UNIX_ONLY" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # A unit with a Windows implementation has it in NAME_win.cpp beside the
  # NAME.cpp of the other systems; each build takes one of the two.
  foreach(_source ${_sources})
    if(_source MATCHES "_win\\.cpp$")
      if(WIN32)
        string(REGEX REPLACE "_win\\.cpp$" ".cpp" _other ${_source})
        list(REMOVE_ITEM _sources ${_other})
      else()
        list(REMOVE_ITEM _sources ${_source})
      endif()
    endif()
  endforeach()
  if(WIN32)
    foreach(_file ${ZL_UNIX_ONLY})
      list(REMOVE_ITEM _sources ${CMAKE_CURRENT_SOURCE_DIR}/${_file})
    endforeach()
  endif()
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ZL_DEPS} PRIVATE ${ZL_PRIVATE_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ZL_DEPS})
  endif()
  add_library(zephron::${name} ALIAS ${name})
endfunction()

# zephron_subdirectories(): adds every direct subfolder that has a CMakeLists.txt,
# so that test and benchmark areas can be added without touching a shared file.
function(zephron_subdirectories)
  file(GLOB _children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT _children)
  foreach(_child ${_children})
    get_filename_component(_dir ${_child} DIRECTORY)
    add_subdirectory(${_dir})
  endforeach()
endfunction()
