# The program we ship: 32-bit, Win32 threads. A -static program from the -posix
# compilers imports GetTickCount64, which Windows XP lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(SHEENWRIGHT_TRIPLET i686-w64-mingw32)
set(SHEENWRIGHT_THREAD_SUFFIXES -win32 "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
