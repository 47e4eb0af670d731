# The core's tables as plain C++ with the runner of tests/support/mini_test.h: they need no Qt, so
# the same tables run natively, under wine for the Windows build and under Node in the page's.
set(PLIMBROOK_CORE_TABLES
    tst_conversion
    tst_copier_formats
    tst_file_reading
    tst_packed_saves
    tst_save_image
)

# plimbrook_add_core_tables(): one executable and one test for each table, run by the build's
# emulator where it has one (CMake puts CMAKE_CROSSCOMPILING_EMULATOR in front of it).
function(plimbrook_add_core_tables)
    foreach(table IN LISTS PLIMBROOK_CORE_TABLES)
        add_executable(${table} "${PROJECT_SOURCE_DIR}/tests/core/${table}.cpp")
        target_link_libraries(${table} PRIVATE core)
        add_test(NAME ${table} COMMAND ${table})
        set_tests_properties(${table} PROPERTIES TIMEOUT 300)
    endforeach()
endfunction()
