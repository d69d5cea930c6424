# The Windows build (cross-built with cmake/mingw-w64-x86_64.cmake; see the
# README). It grows unit by unit: the folders below build for Windows, with
# the Windows implementation of each platform unit beside the Linux one
# (NAME_win.cpp), and their tests run under Wine through CTest.

# GoogleTest from the sources Debian's googletest package installs; there is
# no mingw build of it to install.
set(ZEPHRON_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows test programs")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ZEPHRON_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_subdirectory(platform)
add_subdirectory(archive)
add_subdirectory(xml)
add_subdirectory(transfer)

enable_testing()
add_subdirectory(tests/windows)
