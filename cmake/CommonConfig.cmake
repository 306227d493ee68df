# Settings every target of the project shares.
add_library(eschf_common_cfg INTERFACE)
target_compile_features(eschf_common_cfg INTERFACE cxx_std_20)
target_compile_definitions(eschf_common_cfg INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_DISABLE_DEPRECATED_UP_TO=0x060000)
if(MSVC)
    target_compile_options(eschf_common_cfg INTERFACE /W4 /utf-8 /permissive-)
else()
    target_compile_options(eschf_common_cfg INTERFACE -Wall -Wextra -Wpedantic)
endif()

option(ESCHF_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ESCHF_SANITIZE AND NOT MSVC)
    target_compile_options(eschf_common_cfg INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(eschf_common_cfg INTERFACE -fsanitize=address,undefined)
endif()

option(ESCHF_FUZZ "Build the libFuzzer target over the file import (clang)" OFF)
# Fuzzing: every target carries the fuzzer's coverage and ASan+UBSan; only fuzz_import links libFuzzer.
if(ESCHF_FUZZ)
    target_compile_options(eschf_common_cfg INTERFACE -fsanitize=fuzzer-no-link,address,undefined
        -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(eschf_common_cfg INTERFACE -fsanitize=address,undefined)
endif()
