# libFuzzer harnesses, one per parser of outside input, included by fuzz.cmake.
# scripts/fuzz.sh builds them with clang; the libraries are compiled with
# -fsanitize=fuzzer-no-link so that their branches guide the fuzzer.
pkg_check_modules(FUZZ_ZSTD REQUIRED IMPORTED_TARGET libzstd)

add_library(fuzz_support STATIC ${ZEPHRON_FUZZ_DIR}/fuzz_support.cpp)
target_include_directories(fuzz_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(fuzz_support PUBLIC zephron::platform)

set(_patcher ${PROJECT_SOURCE_DIR}/tools/patcher)
add_library(fuzz_patcher STATIC ${_patcher}/patch.cpp ${_patcher}/patch_format.cpp ${_patcher}/files.cpp
            ${_patcher}/read_file.cpp ${_patcher}/command_line.cpp)
target_include_directories(fuzz_patcher PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(fuzz_patcher PUBLIC zephron::archive zephron::platform PkgConfig::FUZZ_ZSTD)

# fuzz_target(NAME LIBS...): fuzz/NAME.cpp as the program fuzz_NAME.
set(ZEPHRON_FUZZ_TARGETS "" CACHE INTERNAL "")
function(fuzz_target name)
  add_executable(fuzz_${name} ${ZEPHRON_FUZZ_DIR}/${name}.cpp)
  target_link_libraries(fuzz_${name} PRIVATE fuzz_support ${ARGN})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(ZEPHRON_FUZZ_TARGETS ${ZEPHRON_FUZZ_TARGETS} ${name} CACHE INTERNAL "")
endfunction()

fuzz_target(control_file zephron::engine)
fuzz_target(cabinet zephron::archive)
fuzz_target(szdd_expand zephron::archive)
fuzz_target(szdd_roundtrip zephron::archive)
fuzz_target(patch fuzz_patcher)
fuzz_target(xml_text zephron::xml)
fuzz_target(xml_compact zephron::xml)
fuzz_target(version_info zephron::platform)
fuzz_target(registry_hive zephron::platform)
fuzz_target(rtf zephron::ui)
fuzz_target(command_line zephron::platform fuzz_patcher)
fuzz_target(url zephron::transfer)

# Writes the seeds that no outside tool makes (compact XML, PE files).
add_executable(fuzz_make_seeds ${ZEPHRON_FUZZ_DIR}/make_seeds.cpp ${PROJECT_SOURCE_DIR}/tests/version/pe_writer.cpp
               ${PROJECT_SOURCE_DIR}/tests/archive/cab_writer.cpp)
target_include_directories(fuzz_make_seeds PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(fuzz_make_seeds PRIVATE zephron::xml zephron::platform)
set_target_properties(fuzz_make_seeds PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)

add_custom_target(fuzz_all)
foreach(_t ${ZEPHRON_FUZZ_TARGETS})
  add_dependencies(fuzz_all fuzz_${_t})
endforeach()
add_dependencies(fuzz_all fuzz_make_seeds)
