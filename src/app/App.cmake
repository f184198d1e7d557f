# The desktop program plexor-converter and its tests under Qt's offscreen platform.
# Included from the top-level CMakeLists.txt when Qt 6 Widgets is found.

set(PLEXOR_APP_DIR ${CMAKE_CURRENT_LIST_DIR})

# Everything but the entry point, shared by the program and its tests.
plexor_module(app EXCLUDE main.cpp DEPENDS plexor_ui Qt6::Widgets)
set_target_properties(plexor_app PROPERTIES AUTOMOC ON)

add_executable(plexor-converter ${PLEXOR_APP_DIR}/main.cpp)
target_link_libraries(plexor-converter PRIVATE plexor_app)

# The manual is the help page: it sits beside the program under the program's base name.
set(PLEXOR_MANUAL_SOURCE ${CMAKE_SOURCE_DIR}/docs/plexor-converter.html)
set(PLEXOR_MANUAL_BUILT ${CMAKE_BINARY_DIR}/plexor-converter.html)
add_custom_command(OUTPUT ${PLEXOR_MANUAL_BUILT}
  COMMAND ${CMAKE_COMMAND} -E copy ${PLEXOR_MANUAL_SOURCE} ${PLEXOR_MANUAL_BUILT}
  DEPENDS ${PLEXOR_MANUAL_SOURCE}
  COMMENT "Copying the manual beside plexor-converter")
add_custom_target(plexor_manual ALL DEPENDS ${PLEXOR_MANUAL_BUILT})
add_dependencies(plexor-converter plexor_manual)


if(PLEXOR_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  find_package(Qt6 COMPONENTS Test REQUIRED)
  include(GoogleTest)
  file(GLOB PLEXOR_GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/app/*.cpp)
  add_executable(plexor_gui_tests ${PLEXOR_GUI_TEST_SOURCES}
    ${CMAKE_SOURCE_DIR}/tests/support/ShpBuilder.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/DbfBuilder.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/ZipBuilder.cpp)
  target_include_directories(plexor_gui_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(plexor_gui_tests PRIVATE plexor_app Qt6::Test GTest::gtest)
  target_compile_definitions(plexor_gui_tests PRIVATE PLEXOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(plexor_gui_tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The tool behind scripts/screenshot: the window mid-run, a failure box, a file dialog and
# the about box, as the X server shows them.
if(PLEXOR_BUILD_TESTS)
  add_executable(plexor_screenshot ${CMAKE_SOURCE_DIR}/tests/app/screenshot/ScreenshotTool.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/ShpBuilder.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/DbfBuilder.cpp)
  target_include_directories(plexor_screenshot PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(plexor_screenshot PRIVATE plexor_app)
endif()
