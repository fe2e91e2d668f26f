# The Windows build: 64-bit, cross-built with MinGW-w64 against the
# dependencies scripts/windows.sh builds (preset windows, build-win/), and
# tested under Wine. The top-level list includes this file before the
# folders, and calls fs_windows_packages in place of its Linux installation
# and Debian package.

# MinGW's <cmath> defines M_PI only when asked; glibc's always does.
add_compile_definitions(_USE_MATH_DEFINES)
# MinGW's own C99 printf and scanf, not Microsoft's C library's: numbers
# print and scan as on Linux ("inf", hexadecimal floats, %zu).
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
# Coin's headers put dllimport where MinGW's g++ ignores it and says so.
set_property(TARGET Coin::Coin APPEND PROPERTY INTERFACE_COMPILE_OPTIONS -Wno-attributes)

# Installed as one folder: the programs and their DLLs, and data\ beside
# them, where an installed program looks for it (app/DataDir.h).
set(FS_INSTALL_BINDIR .)
set(FS_INSTALL_DATADIR data)
# The same stack as a Linux main thread (8 MiB) instead of MinGW's 2 MiB:
# a model the reader child accepted must not overflow the program's own.
add_link_options(-Wl,--stack,8388608)
# Windows 7's API and later (GetFinalPathNameByHandleW, SetFileInformationByHandle).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)

# After the folders (the top-level list calls it): the DLLs, the installed
# folder and the licences.
macro(fs_windows_packages)
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
  set(FS_WINDOWS_PROGRAMS flightscene flightscene-snapshot flightscene-skygen)
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
  foreach(doc gcc-mingw-w64-x86-64-posix-runtime mingw-w64-common libz-mingw-w64-dev libstb-dev)
    install(FILES /usr/share/doc/${doc}/copyright DESTINATION licenses RENAME ${doc}.txt)
  endforeach()
endmacro()
