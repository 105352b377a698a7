# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (posix threads) and Qt for MinGW in
# QT_MINGW_DIR (scripts/windows passes it). Debian's own Qt 6 of the same version serves the
# host tools (moc, rcc, lrelease): configure with -DQT_HOST_PATH=/usr
# -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
if(NOT QT_MINGW_DIR)
  set(QT_MINGW_DIR $ENV{QT_MINGW_DIR})
endif()
# libpq (and the OpenSSL it uses) for MinGW in PQ_MINGW_DIR: include/, lib/libpq.a (the import
# library of bin/libpq.dll) and the DLLs.
if(NOT PQ_MINGW_DIR)
  set(PQ_MINGW_DIR $ENV{PQ_MINGW_DIR})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${QT_MINGW_DIR} ${PQ_MINGW_DIR})
set(CMAKE_PREFIX_PATH ${QT_MINGW_DIR} ${PQ_MINGW_DIR})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
