# Included into the top-level project by scripts/fuzz.sh only
# (CMAKE_PROJECT_zephron_INCLUDE): the libFuzzer harnesses are added once
# every library target of the project exists.
set(ZEPHRON_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include ${ZEPHRON_FUZZ_DIR}/targets.cmake)
