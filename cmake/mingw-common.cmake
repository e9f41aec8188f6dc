# Shared by both mingw toolchains. The -posix compilers give std::thread and std::mutex,
# which GoogleTest needs; everything is linked statically so the executable needs only system DLLs.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")  # the shipped file carries no symbols
# Lets CTest run the Windows test programs under Wine, in the project's prefix; only the 64-bit
# ones can run on this machine. The wrapper looks for Wine when a test runs, and skips the test
# when it is missing.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ABSOLUTE)
endif()
