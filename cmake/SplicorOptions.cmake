# Compiler flags shared by every target of the project. Project targets call
# splicor_target_defaults(); third-party code (GoogleTest) only inherits the sanitizer flags.

if(SPLICOR_SANITIZE STREQUAL "address")
    set(_splicor_san_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                           -fno-omit-frame-pointer)
elseif(SPLICOR_SANITIZE STREQUAL "thread")
    set(_splicor_san_flags -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT SPLICOR_SANITIZE STREQUAL "")
    message(FATAL_ERROR "SPLICOR_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(_splicor_san_flags)
    add_compile_options(${_splicor_san_flags})
    add_link_options(${_splicor_san_flags})
endif()

function(splicor_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                              -Wnon-virtual-dtor -Wcast-align -Wunused
                                              -Woverloaded-virtual)
    if(SPLICOR_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# A static library for one folder of src/, with its headers reachable as "folder/header.h".
function(splicor_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    splicor_target_defaults(${name})
endfunction()
