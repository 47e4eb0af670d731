// The one source the tests' shared precompiled headers are made with (tests/CMakeLists.txt).
