# Cost of one battery reading against seven plain reads of the gauge's files.
add_executable(battery_reading ${CMAKE_CURRENT_LIST_DIR}/battery_reading.cpp)
target_link_libraries(battery_reading PRIVATE pwr_manager_core)
