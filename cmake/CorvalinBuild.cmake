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

# Unity builds: the sources of a library or test program are compiled a few at a time in one
# translation unit, so the Qt and GoogleTest headers are parsed and their templates compiled once
# per batch instead of once per file. A source that cannot share a unit with others (a name
# that clashes with another file's) is marked SKIP_UNITY_BUILD_INCLUSION where it is built.
option(CORVALIN_UNITY "Compile sources in batches (unity build)" ON)
set(CORVALIN_UNITY_BATCH 4 CACHE STRING "Sources per unity batch")

# corvalin_speed_up(<target>): the batching above for one of our targets.
function(corvalin_speed_up target)
    if(CORVALIN_UNITY)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON
                              UNITY_BUILD_BATCH_SIZE ${CORVALIN_UNITY_BATCH})
        # In a batch every source is an included file, for which GCC reports classes with
        # members from an anonymous namespace: meant for headers, wrong for a source's own types.
        target_compile_options(${target} PRIVATE
                               $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
    endif()
endfunction()

# corvalin_moc_if_needed(<target> <files...>): moc runs (a step of its own per target) only for a
# target whose files declare Qt meta-objects.
function(corvalin_moc_if_needed target)
    set(_needed OFF)
    foreach(_file ${ARGN})
        file(STRINGS ${_file} _hits REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE")
        if(_hits)
            set(_needed ON)
            break()
        endif()
    endforeach()
    set_target_properties(${target} PROPERTIES AUTOMOC ${_needed})
endfunction()

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
        corvalin_moc_if_needed(${name} ${_sources} ${_headers})
        corvalin_speed_up(${name})
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    endif()
endfunction()
