# The posix thread model is the one whose libstdc++ has std::mutex, which
# GoogleTest needs. The program itself uses no C++ threads.
set(CMAKE_C_COMPILER ${CALVORN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CALVORN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CALVORN_TRIPLE}-windres)
set(CALVORN_WIDL ${CALVORN_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${CALVORN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every test executable runs under Wine, in the prefix the test run owns.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
