# The Qt back end's tests: the contract suite with the Qt driver, the randomized editing test and the Qt-only
# tests. Included from this folder's CMakeLists.txt when the Qt back end is built. All run on Qt's offscreen
# platform. (The whole program on Qt is tested in tests/app.)
find_package(Qt6 REQUIRED COMPONENTS Test)

vw_add_test(contract_qt
  SOURCES contract_test.cpp qt_driver.cpp
  LIBS vw_ui vw_platform_qt Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen)

vw_add_test(qt_platform_test
  SOURCES qt_platform_test.cpp qt_driver.cpp
  LIBS vw_platform_qt Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen)

# The randomized editing test (editing_test.cpp) through real Qt key events and the real clipboard.
vw_add_test(editing_qt
  SOURCES editing_test.cpp qt_editing_driver.cpp
  LIBS vw_ui vw_platform_qt Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen)
