# The Qt back end's tests: the contract suite with the Qt driver, and the Qt-only tests. Included from this
# folder's CMakeLists.txt when the Qt back end is built. Both run on Qt's offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Test)

vw_add_test(contract_qt
  SOURCES contract_test.cpp qt_driver.cpp
  LIBS vw_ui vw_platform_qt Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen)

vw_add_test(qt_platform_test
  SOURCES qt_platform_test.cpp qt_driver.cpp
  LIBS vw_platform_qt Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen)

vw_add_test(qt_program_test
  SOURCES qt_program_test.cpp qt_driver.cpp
  LIBS vw_app vw_platform_qt Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen)
