# Installs the build into a scratch prefix and checks that everything lands where the
# desktop and the program look for it. Run with -DBUILD_DIR=... -DPREFIX=...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
  bin/quillmere
  bin/quillmere-cli
  # F1 looks here, relative to the program.
  share/doc/quillmere/quillmere.html
  share/applications/quillmere.desktop
  share/icons/hicolor/scalable/apps/quillmere.svg
  share/icons/hicolor/16x16/apps/quillmere.png
  share/icons/hicolor/48x48/apps/quillmere.png
  share/icons/hicolor/256x256/apps/quillmere.png
)
foreach(path IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
foreach(program quillmere quillmere-cli)
  execute_process(COMMAND test -x "${PREFIX}/bin/${program}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "not executable: bin/${program}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/quillmere.desktop" exec REGEX "^Exec=")
if(NOT exec MATCHES "^Exec=quillmere ")
  message(FATAL_ERROR "the desktop entry does not start the program: ${exec}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
