# Compile settings shared by every target: linked as an INTERFACE library
# instead of touching the global flags.
add_library(ordavex_common INTERFACE)
target_compile_features(ordavex_common INTERFACE cxx_std_20)
target_compile_definitions(ordavex_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
)
if(MSVC)
    target_compile_options(ordavex_common INTERFACE /W4 /utf-8 /permissive-)
    if(ORDAVEX_WERROR)
        target_compile_options(ordavex_common INTERFACE /WX)
    endif()
else()
    target_compile_options(ordavex_common INTERFACE -Wall -Wextra -pedantic)
    if(ORDAVEX_WERROR)
        target_compile_options(ordavex_common INTERFACE -Werror)
    endif()
endif()

if(ORDAVEX_SANITIZE)
    target_compile_options(ordavex_common INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(ordavex_common INTERFACE -fsanitize=address,undefined)
endif()

# The thread sanitizer cannot share a build with the address sanitizer.
if(ORDAVEX_TSAN)
    if(ORDAVEX_SANITIZE)
        message(FATAL_ERROR "ORDAVEX_TSAN and ORDAVEX_SANITIZE exclude each other")
    endif()
    target_compile_options(ordavex_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(ordavex_common INTERFACE -fsanitize=thread)
endif()
