# The Qt half of the application layer: the desktop program's windows and
# pages. Included by src/ui/CMakeLists.txt; nothing here enters kestrum_core.
set(KESTRUM_APP_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/about_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_dlg.h
  ${CMAKE_CURRENT_LIST_DIR}/banner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/banner.h
  ${CMAKE_CURRENT_LIST_DIR}/dev_sel_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dev_sel_dlg.h
  ${CMAKE_CURRENT_LIST_DIR}/gui_services.h
  ${CMAKE_CURRENT_LIST_DIR}/kestrum_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kestrum_app.h
  ${CMAKE_CURRENT_LIST_DIR}/kestrum_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kestrum_dlg.h
  ${CMAKE_CURRENT_LIST_DIR}/main_menu_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_menu_dlg.h
  ${CMAKE_CURRENT_LIST_DIR}/message_boxes.h
  ${CMAKE_CURRENT_LIST_DIR}/page_host.h
  ${CMAKE_CURRENT_LIST_DIR}/part_fix_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/part_fix_dlg.h
  ${CMAKE_CURRENT_LIST_DIR}/progress_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_dlg.h
  ${CMAKE_CURRENT_LIST_DIR}/qt_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_dialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/scan_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_settings.h
)
set(KESTRUM_APP_GUI_MAIN ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
