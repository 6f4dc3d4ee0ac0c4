# cmake -P script: fills STATION_DIR from DATA_DIR and HELP_DIR without replacing anything there.

function(copy_if_missing src dst)
    if(NOT EXISTS "${dst}")
        get_filename_component(_dir "${dst}" DIRECTORY)
        file(MAKE_DIRECTORY "${_dir}")
        file(COPY_FILE "${src}" "${dst}")
    endif()
endfunction()

file(GLOB _data "${DATA_DIR}/*.dat" "${DATA_DIR}/*.ini")
foreach(_f IN LISTS _data)
    get_filename_component(_name "${_f}" NAME)
    copy_if_missing("${_f}" "${STATION_DIR}/${_name}")
endforeach()

# Help pages and the pictures they show are ours, not the user's: always refresh them.
file(GLOB _help "${HELP_DIR}/*" "${PICTURES_DIR}/*.png")
if(_help)
    file(MAKE_DIRECTORY "${STATION_DIR}/help")
    file(COPY ${_help} DESTINATION "${STATION_DIR}/help")
endif()

file(MAKE_DIRECTORY "${STATION_DIR}/Lists" "${STATION_DIR}/MP3 Files")
if(EXISTS "${SCRIPTS_DIR}/make-sample-songs.sh")
    execute_process(COMMAND bash "${SCRIPTS_DIR}/make-sample-songs.sh" "${STATION_DIR}"
                    RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
        message(FATAL_ERROR "Making the sample songs failed (${_rc})")
    endif()
endif()
