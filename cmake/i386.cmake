# Builds for 32-bit x86 Linux on a 64-bit Debian host, through multiarch:
#
#   bash scripts/install-i386-deps.sh build-i386/deps
#   cmake -S . -B build-i386 --toolchain cmake/i386.cmake
#
# The programs run on the host itself (its kernel runs 32-bit programs), so
# this is not treated as cross-compiling: the tests run as usual.
#
# BuDDy's 32-bit packages cannot be installed beside the 64-bit ones, so they
# are unpacked into a private folder, QUORVEL_I386_DEPS (default: deps/ in the
# build directory), which the script above fills. The libraries found there
# are linked by full path, so the build gets a run path to them: the tests,
# the console program and a JVM loading libquorvel.so find libbdd.so.0
# without any set-up.
#
# The JNI headers and the JVM that runs the Java check come from the 32-bit
# JDK (openjdk-17-jdk-headless:i386), whose JVM can load a 32-bit library.

set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

if(NOT DEFINED QUORVEL_I386_DEPS)
  set(QUORVEL_I386_DEPS "${CMAKE_BINARY_DIR}/deps")
endif()
list(APPEND CMAKE_PREFIX_PATH "${QUORVEL_I386_DEPS}/usr")

if(NOT DEFINED JAVA_HOME)
  set(JAVA_HOME /usr/lib/jvm/java-17-openjdk-i386)
endif()
