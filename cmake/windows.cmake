# The Windows build, driven by scripts/build-windows: both programs with their Windows backends,
# and the tests that run inside Windows (under Wine here). The script then gathers the program
# folder and makes the installer.
add_subdirectory(common)
add_subdirectory(tray)
add_subdirectory(console)
# Windows programs without a console window of their own.
set_target_properties(Morvik Halvane PROPERTIES WIN32_EXECUTABLE ON)

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests/windows)
endif()
