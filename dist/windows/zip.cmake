# The zip a Windows user unpacks anywhere: plimbrook-convert.exe with Stuff.dat beside it, its
# manual as a web page made from the man page, the README's Windows section and the licence, as
# files a Windows user opens with a double click.

# The .exe's version resource and manifest.
set(PLIMBROOK_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/plimbrook-convert.exe.manifest")
set(resource "${CMAKE_CURRENT_BINARY_DIR}/plimbrook-convert.rc")
configure_file(windows/plimbrook-convert.exe.manifest.in "${PLIMBROOK_MANIFEST}" @ONLY)
configure_file(windows/plimbrook-convert.rc.in "${resource}" @ONLY)
target_sources(plimbrook-convert PRIVATE "${resource}")
set_source_files_properties("${resource}" TARGET_DIRECTORY plimbrook-convert
                            PROPERTIES OBJECT_DEPENDS "${PLIMBROOK_MANIFEST}")

# The manual: mandoc's web page needs nothing beside it.
find_program(PLIMBROOK_MANDOC mandoc REQUIRED)
set(man_page "${PROJECT_SOURCE_DIR}/cli/plimbrook-convert.1")
set(manual "${CMAKE_CURRENT_BINARY_DIR}/plimbrook-convert.html")
add_custom_command(
    OUTPUT "${manual}"
    COMMAND "${PLIMBROOK_MANDOC}" -Thtml -Werror "${man_page}" > "${manual}"
    DEPENDS "${man_page}"
    COMMENT "Making the manual plimbrook-convert.html from the man page"
    VERBATIM)
add_custom_target(plimbrook_convert_manual ALL DEPENDS "${manual}")

# README.txt: the README's section "On Windows", which is written for the unpacked folder.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/README.md")
file(READ "${PROJECT_SOURCE_DIR}/README.md" readme)
string(FIND "${readme}" "\n## On Windows\n" start)
if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no section \"## On Windows\" for README.txt")
endif()
math(EXPR start "${start} + 1")
string(SUBSTRING "${readme}" ${start} -1 section)
string(FIND "${section}" "\n## " end)
string(SUBSTRING "${section}" 0 ${end} section)
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/README.txt"
     "# Plimbrook ${PROJECT_VERSION}: plimbrook-convert for Windows\n\n${section}\n")

install(FILES "${CMAKE_CURRENT_BINARY_DIR}/README.txt" "${manual}" DESTINATION . COMPONENT convert)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt COMPONENT convert)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "plimbrook-convert-${PROJECT_VERSION}-windows-x64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
