# Flags every target of the project shares.
add_library(brevadin_flags INTERFACE)
target_compile_features(brevadin_flags INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_include_directories(brevadin_flags INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(brevadin_flags INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 reports -Wrestrict on std::string concatenation at -O2/-O3 where no
# overlap exists (GCC bug 105329); with warnings as errors that breaks builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(brevadin_flags INTERFACE -Wno-restrict)
endif()
if(BREVADIN_WERROR)
  target_compile_options(brevadin_flags INTERFACE -Werror)
endif()
target_compile_definitions(brevadin_flags INTERFACE
  BREVADIN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  BREVADIN_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  BREVADIN_VERSION_REVISION=${PROJECT_VERSION_TWEAK})
if(BREVADIN_SANITIZE)
  target_compile_options(brevadin_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(brevadin_flags INTERFACE -fsanitize=address,undefined)
  # With the sanitizers' instrumentation GCC 12 reports maybe-uninitialized
  # inside libstdc++ (std::regex, std::function) where nothing is.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(brevadin_flags INTERFACE -Wno-maybe-uninitialized)
  endif()
endif()
if(BREVADIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BREVADIN_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++-14)")
  endif()
  # Every library is instrumented for coverage; only the fuzz programs link
  # libFuzzer's main.
  target_compile_options(brevadin_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(brevadin_flags INTERFACE -fsanitize=address,undefined)
endif()
