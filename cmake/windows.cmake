# The Windows build, driven by scripts/build-windows: both programs with their Windows backends,
# and the tests that run inside Windows (under Wine here). The script then gathers the program
# folder and makes the installer.
add_subdirectory(common)
add_subdirectory(data)
add_subdirectory(wake)
add_subdirectory(tray)
add_subdirectory(console)
# Windows programs without a console window of their own.
set_target_properties(Morvik Halvane PROPERTIES WIN32_EXECUTABLE ON)

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests/windows)
endif()

# Program icons for Explorer and the Start menu, made from the pictures of the Linux menus.
find_program(HALVANE_CONVERT convert)
if(NOT HALVANE_CONVERT)
  message(FATAL_ERROR "ImageMagick's convert is missing (Debian package imagemagick); run scripts/setup")
endif()
set(icons)
foreach(program Halvane Morvik)
  string(TOLOWER ${program} picture)
  set(ico ${CMAKE_BINARY_DIR}/icons/${picture}.ico)
  set(rc ${CMAKE_BINARY_DIR}/icons/${picture}.rc)
  add_custom_command(OUTPUT ${ico}
                     COMMAND ${HALVANE_CONVERT} -background none ${PROJECT_SOURCE_DIR}/packaging/icons/${picture}.svg
                             -define icon:auto-resize=256,48,32,16 ${ico}
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/icons/${picture}.svg VERBATIM)
  list(APPEND icons ${ico})
  file(WRITE ${rc} "1 ICON \"${ico}\"\n")
  set_source_files_properties(${rc} TARGET_DIRECTORY ${program} PROPERTIES OBJECT_DEPENDS ${ico})
  target_sources(${program} PRIVATE ${rc})
endforeach()
add_custom_target(halvane_icons DEPENDS ${icons})
add_dependencies(Halvane halvane_icons)
add_dependencies(Morvik halvane_icons)
