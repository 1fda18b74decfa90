# Every target of ours gets the same warning set; third-party headers come
# from the system and stay quiet because CMake marks them as system includes.
add_library(movrek_warnings INTERFACE)
target_compile_options(movrek_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                                 -Wnon-virtual-dtor -Wimplicit-fallthrough)
