# Makes a target the Windows program: a GUI-subsystem executable (no console window beside it)
# whose first icon resource is the application icon. Explorer shows that icon for the file, and
# Qt takes the resource named IDI_ICON1 for its windows when none is set in code.
set(VESPERKEEP_WINDOWS_ICON "${CMAKE_CURRENT_LIST_DIR}/../ui/resources/vesperkeep.ico")
cmake_path(NORMAL_PATH VESPERKEEP_WINDOWS_ICON)

function(vesperkeep_windows_program target)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE TRUE)
  # Forward slashes: the resource compilers read a backslash in a string as an escape.
  set(icon "${VESPERKEEP_WINDOWS_ICON}")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-icon.rc")
  file(CONFIGURE OUTPUT "${rc}" CONTENT "IDI_ICON1 ICON \"@icon@\"\n" @ONLY)
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${icon}")
  target_sources(${target} PRIVATE "${rc}")
endfunction()
