# Sourced by the build scripts: ccache, where the machine has it, lets
# several working trees share objects. Sets the array `launch` of CMake
# arguments (empty without ccache).
launch=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
  launch=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
