# The test build: x86-64 for 64-bit Wine, POSIX threads because GoogleTest
# needs std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(SHEENWRIGHT_TRIPLET x86_64-w64-mingw32)
set(SHEENWRIGHT_THREAD_SUFFIXES -posix "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
