# Instruments everything built in a fuzzing build folder: coverage for
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, so that the
# fuzz targets exercise the very libraries the application links. Only the
# fuzz targets themselves link libFuzzer's main (-fsanitize=fuzzer).

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TOVALIT_BUILD_FUZZERS needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
endif()

set(TOVALIT_SANITIZERS address,undefined)
# clang 14 cannot emit the function-type check together with coverage in
# coroutine frames ("Cannot represent a difference across sections"); that
# one check goes, the rest of UBSan stays. A finding stops the run.
add_compile_options(-fsanitize=fuzzer-no-link,${TOVALIT_SANITIZERS} -fno-sanitize=function
                    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_link_options(-fsanitize=${TOVALIT_SANITIZERS})
