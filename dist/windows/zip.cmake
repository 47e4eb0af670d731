# The zip a Windows user unpacks anywhere: plimbrook-convert.exe with Stuff.dat beside it, and
# text files a Windows user opens with a double click.
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION . RENAME README.txt COMPONENT convert)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt COMPONENT convert)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "plimbrook-convert-${PROJECT_VERSION}-windows-x64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
