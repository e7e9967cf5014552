# The x64 build with a second compiler: Debian's clang (14) targeting MinGW-w64, on the
# Windows headers and import libraries, libstdc++ and libgcc of the MinGW-w64 GCC (posix
# thread model) that the GCC build uses, linked by lld. It exists to show that the program
# does not lean on one compiler: scripts/test.sh builds its Dorvane target, warnings as errors.
# Only the program is built with it; the tests run on the GCC build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

find_program(DORVANE_CLANG NAMES clang-14 clang REQUIRED)
find_program(DORVANE_CLANGXX NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_C_COMPILER ${DORVANE_CLANG})
set(CMAKE_CXX_COMPILER ${DORVANE_CLANGXX})
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})

# Clang 14 does not recognise Debian's GCC folders ("12-posix", "12-win32") and would fall
# back to the build machine's /usr/include. So the MinGW-w64 tree is the sysroot, and the
# posix GCC's libstdc++ headers, start files (-B) and libraries (-L) are named outright;
# -pthread links winpthreads, which the posix libstdc++ needs and GCC adds by itself.
set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-posix -print-libgcc-file-name
  OUTPUT_VARIABLE DORVANE_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(DORVANE_GCC_DIR "${DORVANE_LIBGCC}" DIRECTORY)
set(DORVANE_CXX_HEADERS ${DORVANE_GCC_DIR}/include/c++)
if(NOT EXISTS ${DORVANE_CXX_HEADERS}/${TOOLCHAIN_PREFIX}/bits/c++config.h)
  message(FATAL_ERROR "libstdc++ headers of ${TOOLCHAIN_PREFIX}-g++-posix not found under ${DORVANE_CXX_HEADERS}")
endif()
set(CMAKE_CXX_FLAGS_INIT "-isystem ${DORVANE_CXX_HEADERS} -isystem ${DORVANE_CXX_HEADERS}/${TOOLCHAIN_PREFIX} -isystem ${DORVANE_CXX_HEADERS}/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread -B${DORVANE_GCC_DIR} -L${DORVANE_GCC_DIR}")
