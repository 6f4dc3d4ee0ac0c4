# Compiler flags shared by every target of ours, and the helper that makes one library per folder.

add_library(corvalin_flags INTERFACE)
target_compile_options(corvalin_flags INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Woverloaded-virtual -Wformat=2
    $<$<BOOL:${CORVALIN_WERROR}>:-Werror>)
target_compile_definitions(corvalin_flags INTERFACE
    QT_NO_KEYWORDS QT_NO_FOREACH QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    CORVALIN_VERSION_TEXT="${PROJECT_VERSION}")

# lld links the many test programs several times faster than the default linker.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld CORVALIN_HAVE_LLD)
if(CORVALIN_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
endif()

if(CORVALIN_SANITIZE)
    list(JOIN CORVALIN_SANITIZE "," _corvalin_san)
    add_compile_options(-fsanitize=${_corvalin_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_corvalin_san})
endif()

# corvalin_add_library(<name> DEPS <targets...>)
# Builds every .cpp of the calling folder (not its subfolders, not a program's main.cpp) into one
# static library. A folder
# without sources yet gives an interface library, so the tree builds while a subsystem is empty.
function(corvalin_add_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    list(REMOVE_ITEM _sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
    file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    if(_sources)
        add_library(${name} STATIC ${_sources} ${_headers})
        target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE corvalin_flags)
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    endif()
endfunction()
