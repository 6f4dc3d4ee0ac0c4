# cmake -P script: fills SHARE_DIR (the read-only data an installed program finds under its
# prefix) from DATA_DIR, HELP_DIR and the sample-song script, then STATION_DIR (a ready-made
# station folder) from SHARE_DIR without replacing anything there.

function(copy_if_missing src dst)
    if(NOT EXISTS "${dst}")
        get_filename_component(_dir "${dst}" DIRECTORY)
        file(MAKE_DIRECTORY "${_dir}")
        file(COPY_FILE "${src}" "${dst}")
    endif()
endfunction()

# The read-only data is ours: always brought up to date with the sources.
file(GLOB _data "${DATA_DIR}/*.dat" "${DATA_DIR}/*.ini")
file(MAKE_DIRECTORY "${SHARE_DIR}/help")
file(COPY ${_data} DESTINATION "${SHARE_DIR}")
file(GLOB _help "${HELP_DIR}/*" "${PICTURES_DIR}/*.png")
if(_help)
    file(COPY ${_help} DESTINATION "${SHARE_DIR}/help")
endif()
file(MAKE_DIRECTORY "${SHARE_DIR}/Lists" "${SHARE_DIR}/MP3 Files")
if(EXISTS "${SCRIPTS_DIR}/make-sample-songs.sh")
    execute_process(COMMAND bash "${SCRIPTS_DIR}/make-sample-songs.sh" "${SHARE_DIR}"
                    RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
        message(FATAL_ERROR "Making the sample songs failed (${_rc})")
    endif()
endif()

foreach(_f IN LISTS _data)
    get_filename_component(_name "${_f}" NAME)
    copy_if_missing("${_f}" "${STATION_DIR}/${_name}")
endforeach()

# Help pages and the pictures they show are ours, not the user's: always refresh them.
if(_help)
    file(MAKE_DIRECTORY "${STATION_DIR}/help")
    file(COPY ${_help} DESTINATION "${STATION_DIR}/help")
endif()

file(MAKE_DIRECTORY "${STATION_DIR}/Lists" "${STATION_DIR}/MP3 Files")
file(GLOB _samples RELATIVE "${SHARE_DIR}" "${SHARE_DIR}/MP3 Files/*" "${SHARE_DIR}/Lists/*")
foreach(_f IN LISTS _samples)
    copy_if_missing("${SHARE_DIR}/${_f}" "${STATION_DIR}/${_f}")
endforeach()
