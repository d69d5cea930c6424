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

# libsodium and libzstd have no mingw package: scripts/windows-deps.sh
# cross-builds them from Debian's sources into this prefix, and pkg-config
# looks there only, never at the Linux libraries.
set(ZEPHRON_WINDOWS_DEPS ${PROJECT_SOURCE_DIR}/build-win-deps/prefix CACHE PATH
    "Prefix of the libraries cross-built by scripts/windows-deps.sh")
if(NOT EXISTS ${ZEPHRON_WINDOWS_DEPS}/lib/pkgconfig/libsodium.pc)
  message(FATAL_ERROR "No Windows build of libsodium in ${ZEPHRON_WINDOWS_DEPS}: run scripts/windows-deps.sh")
endif()
set(ENV{PKG_CONFIG_LIBDIR} ${ZEPHRON_WINDOWS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# The prefix is a root of the cross build, so that the imported targets of
# pkg-config find the libraries there.
list(APPEND CMAKE_FIND_ROOT_PATH ${ZEPHRON_WINDOWS_DEPS})

enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_subdirectory(platform)
add_subdirectory(archive)
add_subdirectory(xml)
add_subdirectory(ui)
add_subdirectory(transfer)
add_subdirectory(engine)
add_subdirectory(setup)
add_subdirectory(bugreport)
add_subdirectory(tools/patcher)
add_subdirectory(app)

enable_testing()
add_subdirectory(tests/windows)
