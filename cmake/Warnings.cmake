# One place for the warning set, so every target is held to the same bar.
add_library(roadfire_warnings INTERFACE)
if(MSVC)
  target_compile_options(roadfire_warnings INTERFACE /W4)
else()
  target_compile_options(roadfire_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
    -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
endif()
