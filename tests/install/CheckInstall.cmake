# Installs the build tree BUILD_DIR with `cmake --install` into the temporary folder WORK_DIR
# (DESTDIR, prefix /usr) and checks what a desktop gets: the program, its desktop entry and
# its icons under the hicolor theme, and nothing else. Run with cmake -P.
foreach(var BUILD_DIR WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${WORK_DIR} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

# Exactly these files.
set(expected
  usr/bin/wellvox
  usr/share/applications/wellvox.desktop
  usr/share/icons/hicolor/48x48/apps/wellvox.png
  usr/share/icons/hicolor/scalable/apps/wellvox.svg)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
list(SORT installed)
if(NOT installed STREQUAL expected)
  fail("installed: ${installed}; expected: ${expected}")
endif()
set(root ${WORK_DIR}/usr)

# The program runs: an executable ELF file.
execute_process(COMMAND test -x ${root}/bin/wellvox RESULT_VARIABLE notExecutable)
if(EXISTS ${root}/bin/wellvox)
  file(READ ${root}/bin/wellvox magic LIMIT 4 HEX)
endif()
if(notExecutable OR NOT magic STREQUAL "7f454c46")
  fail("usr/bin/wellvox is no executable program")
endif()

# The desktop entry starts the installed program by name and names the installed icon.
set(entry ${root}/share/applications/wellvox.desktop)
if(EXISTS ${entry})
  file(STRINGS ${entry} lines)
  foreach(want "[Desktop Entry]" "Type=Application" "Name=Wellvox" "Exec=wellvox %f" "Icon=wellvox")
    list(FIND lines "${want}" at)
    if(at LESS 0)
      fail("wellvox.desktop lacks the line \"${want}\"")
    endif()
  endforeach()
  find_program(VALIDATE desktop-file-validate)
  if(VALIDATE)
    execute_process(COMMAND ${VALIDATE} ${entry} RESULT_VARIABLE invalid OUTPUT_VARIABLE why ERROR_VARIABLE why)
    if(invalid OR NOT why STREQUAL "")
      fail("desktop-file-validate: ${why}")
    endif()
  endif()
endif()

# The icons: a PNG of 48 x 48 pixels (its IHDR width and height) and an SVG.
set(png ${root}/share/icons/hicolor/48x48/apps/wellvox.png)
if(EXISTS ${png})
  file(READ ${png} head LIMIT 24 HEX)
  if(NOT head MATCHES "^89504e470d0a1a0a0000000d494844520000003000000030$")
    fail("wellvox.png is no 48 x 48 PNG: ${head}")
  endif()
endif()
set(svg ${root}/share/icons/hicolor/scalable/apps/wellvox.svg)
if(EXISTS ${svg})
  file(READ ${svg} text LIMIT 200)
  if(NOT text MATCHES "^<svg ")
    fail("wellvox.svg is no SVG image")
  endif()
endif()

file(REMOVE_RECURSE ${WORK_DIR})
if(failures)
  message(FATAL_ERROR "The installed files are not right:\n${failures}")
endif()
