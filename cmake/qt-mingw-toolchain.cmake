# Cross-builds Qt itself for 64-bit Windows (scripts/build-qt-mingw.sh); the program uses mingw-w64-x86_64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The same -posix compilers as the program: Qt's objects and the program's must agree on the threading model.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unlike the program's file: no -static and no emulator. A static Qt is only libraries and plugins; with
# static_runtime on, Qt's targets ask whatever links them to link statically, and the program's file adds -static
# there. The tools the build runs (moc, rcc, uic) are the host's, from QT_HOST_PATH, never Windows programs.
