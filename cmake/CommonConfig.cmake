# One interface target that every Ostrelle target links: standard, warnings, sanitizers.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

option(OSTRELLE_WERROR "Treat warnings as errors (on when CI is set)" $ENV{CI})
option(OSTRELLE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(ostrelle_options INTERFACE)
target_compile_features(ostrelle_options INTERFACE cxx_std_20)
target_compile_options(ostrelle_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor
                                                     -Woverloaded-virtual)
# Qt's signals/slots keywords clash with GLib headers. Every text from bytes says its encoding.
target_compile_definitions(ostrelle_options INTERFACE QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII)
if(OSTRELLE_WERROR)
  target_compile_options(ostrelle_options INTERFACE -Werror)
endif()
if(OSTRELLE_SANITIZE)
  target_compile_options(ostrelle_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(ostrelle_options INTERFACE -fsanitize=address,undefined)
endif()
