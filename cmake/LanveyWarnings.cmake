# Every target of the project gets the same warning set; CI adds -Werror.
function(lanvey_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(LANVEY_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
