# Unit tests of the emulator's firmware model (sim/), run without a terminal.
add_executable(tst_firmware ${CMAKE_CURRENT_LIST_DIR}/tst_firmware.cpp)
target_link_libraries(tst_firmware PRIVATE vantor_firmware Qt6::Test)
add_test(NAME tst_firmware COMMAND tst_firmware)
