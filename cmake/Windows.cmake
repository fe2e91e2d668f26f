# The Windows build: 64-bit, cross-built with MinGW-w64 against the
# dependencies scripts/windows.sh builds (preset windows, build-win/), and
# tested under Wine. The top-level list includes this file in place of its
# Linux part: the folders, the installation and the Debian package.

# MinGW's <cmath> defines M_PI only when asked; glibc's always does.
add_compile_definitions(_USE_MATH_DEFINES)
# Coin's headers put dllimport where MinGW's g++ ignores it and says so.
set_property(TARGET Coin::Coin APPEND PROPERTY INTERFACE_COMPILE_OPTIONS -Wno-attributes)

# Temporary, until the platform layer (reader child, file writing, clock,
# data folder, driver checks, console output) is in: only what compiles for
# Windows today is built. Left out:
#   files/          the reader child: fork, rlimits, signals, waitpid
#   aircraft/       reads its list and models through files/
#   app/            reads through files/ and aircraft/; DataDir.cpp: readlink
#   tools/snapshot/ the scene of app/
#   window/Driver.cpp (see window/CMakeLists.txt): pthreads, rlimits, mmap
# and their tests: unit/files, unit/aircraft, unit/app, unit/reliability,
# unit/tools (the skygen test forks), render/app, render/tools, the
# end-to-end scripts and the list-file fuzz replay.
foreach(sub numeric state image record window volume clouds)
  add_subdirectory(${sub})
endforeach()
# The sky generator needs only the command line and the icon of app/.
add_library(fs_cli STATIC app/CommandLine.cpp)
target_link_libraries(fs_cli PUBLIC fs_includes)
target_compile_definitions(fs_cli PRIVATE FLIGHTSCENE_VERSION="${PROJECT_VERSION}")
add_library(fs_icon STATIC app/Icon.cpp)
target_link_libraries(fs_icon PUBLIC fs_includes fs_image)
add_subdirectory(tools/skygen)
set(FS_TEST_DIRS unit/numeric unit/state unit/record unit/window unit/volume unit/clouds render/window
                 render/volume fuzz)

if(FLIGHTSCENE_TESTS)
  find_package(GTest QUIET)
  if(GTest_FOUND)
    enable_testing()
    add_subdirectory(tests)
  else()
    message(STATUS "Tests skipped: GoogleTest not found (scripts/windows.sh builds it)")
  endif()
endif()

# The DLLs the programs need beside them: Coin's, the compiler's runtime and
# zlib (libpng and GLFW are linked in). Without libwinpthread-1.dll a program
# ends with status 53 and no word.
get_target_property(coin_dll Coin::Coin IMPORTED_LOCATION_RELEASE)
set(FS_RUNTIME_DLLS ${coin_dll})
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    find_file(path ${dll} PATHS /usr/${FS_MINGW}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${dll} not found (g++-mingw-w64-x86-64-posix, libz-mingw-w64)")
  endif()
  list(APPEND FS_RUNTIME_DLLS ${path})
  unset(path CACHE)
endforeach()
# Copied beside the programs in the build folder, so they run there.
file(COPY ${FS_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})

# Installed (the zip and the installer, made by scripts/windows.sh from
# cmake --install): one folder with the programs and the DLLs beside them,
# the data in data/, the licences and a short read-me.
set(FS_WINDOWS_PROGRAMS flightscene-skygen)
install(TARGETS ${FS_WINDOWS_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${FS_RUNTIME_DLLS} DESTINATION .)
install(FILES data/PlaneList.txt DESTINATION data)
install(DIRECTORY data/models DESTINATION data FILES_MATCHING PATTERN "*.iv")
install(DIRECTORY data/img DESTINATION data FILES_MATCHING PATTERN "*.tga")
# Text files with Windows line ends, for Notepad.
configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE WIN32)
configure_file(dist/windows/README.txt README.txt @ONLY NEWLINE_STYLE WIN32)
install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
# The licences of what the DLLs and programs carry: Debian's copyright
# files of the sources they were built from.
foreach(prefix ${FLIGHTSCENE_WIN_DEPS})
  file(GLOB copyright ${prefix}/share/doc/*/copyright)
  foreach(file ${copyright})
    get_filename_component(dir ${file} DIRECTORY)
    get_filename_component(name ${dir} NAME)
    install(FILES ${file} DESTINATION licenses RENAME ${name}.txt)
  endforeach()
endforeach()
foreach(doc gcc-mingw-w64-x86-64-posix-runtime mingw-w64-common libz-mingw-w64-dev)
  install(FILES /usr/share/doc/${doc}/copyright DESTINATION licenses RENAME ${doc}.txt)
endforeach()
