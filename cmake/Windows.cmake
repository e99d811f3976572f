# Settings shared by every Windows binary the project builds (program, DLL, tests, test doubles).

# Everything targets Windows XP SP3: the headers hide what XP lacks.
add_library(korvanix_winsdk INTERFACE)
target_compile_definitions(korvanix_winsdk INTERFACE
    _WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0600 UNICODE _UNICODE NOMINMAX)
target_link_libraries(korvanix_winsdk INTERFACE
    comctl32 ole32 oleaut32 uuid shell32 shlwapi advapi32 user32 gdi32 kernel32 msimg32 wininet dbghelp comdlg32)

# The import slot for GetTickCount64 that winpthreads asks for (see XpCompat_win.cpp). It must be an object
# file of every binary, not a library member: the linker reads winpthreads after our libraries.
add_library(korvanix_xp OBJECT ${CMAKE_CURRENT_LIST_DIR}/../src/platform/XpCompat_win.cpp)
target_compile_options(korvanix_xp PRIVATE ${KORVANIX_WARNINGS})

# kind: windows or console. Static, with subsystem version 5.01 so that Windows XP loads it.
function(korvanix_windows_binary target kind)
    target_link_libraries(${target} PRIVATE korvanix_xp korvanix_winsdk)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
        -Wl,--subsystem,${kind}:5.01 -Wl,--major-os-version,5 -Wl,--minor-os-version,1
        -Wl,--dynamicbase -Wl,--nxcompat)
    if(kind STREQUAL "windows")
        target_link_options(${target} PRIVATE -mwindows)
    endif()
endfunction()
