# A stand-in for Qt 6's CMake package, for configuring the desktop program's
# Windows build where there is no Qt for the target (gui_configure.sh): it
# writes down every component asked for and every translation set up, into
# KESTRUM_QT_STUB_LOG, and gives the targets the CMake files link. Nothing
# it gives builds.
set(Qt6_FOUND TRUE)
set(Qt6_VERSION 6.4.2)
set(Qt6_VERSION_MAJOR 6)
foreach(component IN LISTS Qt6_FIND_COMPONENTS)
  file(APPEND "${KESTRUM_QT_STUB_LOG}" "component ${component}\n")
  set(Qt6${component}_FOUND TRUE)
  if(NOT TARGET Qt6::${component})
    add_library(Qt6::${component} INTERFACE IMPORTED)
    set_target_properties(Qt6::${component} PROPERTIES INTERFACE_QT_MAJOR_VERSION 6)
  endif()
endforeach()
# AUTOMOC asks for the Qt version and moc's place when it generates.
set(Qt6Core_VERSION_MAJOR 6)
set(Qt6Core_VERSION_MINOR 4)
if(NOT TARGET Qt6::moc)
  add_executable(Qt6::moc IMPORTED)
  set_target_properties(Qt6::moc PROPERTIES IMPORTED_LOCATION "${CMAKE_CURRENT_LIST_DIR}/moc")
endif()

function(qt_add_translations target)
  file(APPEND "${KESTRUM_QT_STUB_LOG}" "translations ${target} ${ARGN}\n")
endfunction()
